#pragma once
// The making of the service pipe's instances: every one with the pipe's DACL,
// the first as the first instance of its name, each checked to be the one it
// should be by the count of instances under the name.
#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "common/local_memory.h"
#include "common/refusal.h"
#include "common/unique_handle.h"
#include "common/win32_result.h"

namespace velk {

// An instance just made, or, when the name turned out to be shared, why it
// was given up (the handle is closed then).
struct MadeInstance {
    UniqueHandle pipe;
    std::optional<Refusal> refusal;
};

class PipeInstanceMaker {
  public:
    explicit PipeInstanceMaker(std::wstring name) : name_(std::move(name)) {}

    // The `ours`-th instance of the name that the server holds (0: the first,
    // made with FILE_FLAG_FIRST_PIPE_INSTANCE), carrying the DACL of
    // PipeSecurityDescriptorSddl(), overlapped, message-mode and local only.
    // Fails with "CreateNamedPipeW" and ERROR_ACCESS_DENIED or
    // ERROR_PIPE_BUSY when Windows finds the name served by someone else
    // too; where it does not, the count of the name's instances does, and
    // the instance is given up as a refusal (pipe_name_claim.h). Without
    // its descriptor no instance is made: a NULL DACL would let any local
    // process rewrite the pipe's security. The descriptor is built when first
    // needed and kept; a failure to build it is tried again with the next
    // instance.
    Win32Result<MadeInstance> Make(DWORD ours);

    // Whether `error` says that the name is served by someone else too.
    static bool NameTaken(const Win32Error& error);

  private:
    std::wstring name_;
    UniqueLocal<void> descriptor_;  // every instance's; empty until first built
};

}  // namespace velk
