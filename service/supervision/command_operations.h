#pragma once
// What the dispatcher may do to processes and files. None of these throws;
// every failure comes back in the result.
#include <cstdint>
#include <string>

#include "common/caller_read_access.h"
#include "common/win32_result.h"
#include "service/supervision/core_session.h"
#include "service/supervision/core_start_outcome.h"
#include "service/supervision/op_result.h"

namespace velk {

struct XrayStatus {
    bool running = false;
    std::uint32_t code = 0;
};

// Who holds the core session (core_session.h).
struct CoreSessionHolder {
    // The user SID whose start last ran a core in this service run; empty
    // when none has.
    std::wstring owner;
    // Whether that core is still the service's: started, and neither stopped
    // nor let go by a later start since (it may have ended by itself).
    bool coreHeld = false;
};

class CommandOperations {
  public:
    virtual ~CommandOperations() = default;

    // (true, 259) while the recorded core runs; (false, exit code) once it has
    // ended; (false, 0) when none is recorded.
    virtual XrayStatus QueryXrayStatus() = 0;

    // Who holds the core session. Changes nothing.
    virtual CoreSessionHolder CoreSession() = 0;

    // Starts the core with `configPath` (never empty, quotes already removed)
    // unless one is running. The configuration must be a file the client may
    // read (`reader`), which the service then reads itself: the service never
    // acts as the client, so the client need not allow it to. A start that runs
    // a core makes the session `owner`'s (a user SID); no other outcome
    // changes whose it is.
    virtual CoreStartOutcome StartXray(const std::wstring& configPath,
                                       const CallerReadAccess& reader,
                                       const std::wstring& owner) = 0;

    // Stops the recorded core, if any; the session stays its owner's. Always
    // (true, 0).
    virtual OpResult StopXray() = 0;

    // Runs "\"programPath\" arguments" hidden and waits at most timeoutMs.
    // ok is true exactly when the program ended with exit code 0.
    virtual OpResult RunHelperProcess(const std::wstring& programPath,
                                      const std::wstring& arguments, std::uint32_t timeoutMs) = 0;

    // The last maxBytes bytes of what the session's core wrote to `log`
    // (what the log gained after the session's mark), decoded as UTF-8; with
    // no session yet, the log's last maxBytes bytes. Empty when there is
    // nothing to show.
    virtual std::wstring ReadCoreLogTail(CoreLog log, std::int64_t maxBytes) = 0;

    // Directory of the running service program with its trailing separator,
    // or empty text.
    virtual std::wstring GetModuleDirectory() = 0;
};

}  // namespace velk
