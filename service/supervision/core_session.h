#pragma once
// The core session: whose start last ran a core, and where that core's
// output begins in the core's logs. The runtime log is appended to by every
// core and never cut, so a session's part of it is what follows its mark: a
// caller reads its own core's lines, never those of the account before.
// Portable; one thread at a time.
#include <cstdint>
#include <optional>
#include <string>

#include "service/supervision/core_start_outcome.h"

namespace velk {

// The core's two logs that xray_last_error reads back: its output (the
// runtime log) and the error log a configuration may name.
enum class CoreLog { kRuntime, kError };

// How long each log was when a session's core started.
struct CoreLogMarks {
    std::wstring runtimePath;  // the file the core's output went to
    std::int64_t runtimeEnd = 0;
    std::int64_t errorEnd = 0;
};

struct CoreSessionFacts {
    std::wstring owner;  // the user SID whose start ran the core
    CoreLogMarks marks;
};

class CoreSessionLedger {
  public:
    // Takes note of a start asked by `owner`. Only a start that ran a core
    // (RanCore) begins a session, with the logs as `marks` found them before
    // the core ran; any other outcome leaves the session as it was, so a
    // refused or failed start gains its caller nothing.
    void Settle(const CoreStartOutcome& outcome, const std::wstring& owner, CoreLogMarks marks);

    // The session, or nullptr while no start has run a core.
    const CoreSessionFacts* Current() const;

    // Where the session's part of `log` begins; 0 with no session (the
    // service did not run the core that wrote what is there).
    std::int64_t Mark(CoreLog log) const;

  private:
    std::optional<CoreSessionFacts> current_;
};

}  // namespace velk
