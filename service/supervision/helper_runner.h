#pragma once
// The route helper runner: one hidden run of a helper program, bounded in time.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "service/service_constants.h"
#include "service/supervision/command_operations.h"
#include "common/log_sink.h"

namespace velk {

struct HelperRunSettings {
    // The helper's working directory; empty: the service's own.
    std::wstring workingDirectory;
    // How long the runner waits for the helper and everything it started to
    // be gone after it has ended them.
    std::uint32_t treeEndWaitMs = kHelperTreeEndWaitMs;
    LogSink log;
    // The service's stop event, or null. A stop never ends a helper early
    // (it may be in the middle of a route change); while the runner goes on
    // waiting for it, it calls progress about every kStopProgressIntervalMs
    // with the longest it may still wait, so the service can tell the control
    // manager that it is making progress. Without a stop event, progress is
    // called so from the start of the wait (a run while the service starts
    // or stops).
    HANDLE stopEvent = nullptr;
    std::function<void(std::uint32_t remainingMs)> progress;
};

// Runs "\"programPath\" arguments" hidden, with no inherited handles and the
// service's child environment (ServiceChildEnvironmentBlock), inside a job
// object, and waits at most timeoutMs. Results:
//   ended with 0        -> (true, 0)
//   ended with n        -> (false, n)
//   still running       -> (false, 1460), "Process timeout." logged; the
//                          helper and every process it started are ended
//   could not be started -> (false, system error code),
//                          "CreateProcessW failed. Error=<code>" logged (or
//                          the call that found no folder for its environment)
// Processes the helper leaves behind when it ends by itself are ended too.
OpResult RunHelperProcess(const HelperRunSettings& settings, const std::wstring& programPath,
                          const std::wstring& arguments, std::uint32_t timeoutMs);

}  // namespace velk
