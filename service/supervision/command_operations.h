#pragma once
// What the dispatcher may do to processes and files. None of these throws;
// every failure comes back in the result.
#include <cstdint>
#include <functional>
#include <string>

#include "common/win32_result.h"

namespace velk {

// A success flag and a 32-bit unsigned code: 0, a system error code or a
// child's exit code.
struct OpResult {
    bool ok = false;
    std::uint32_t code = 0;
};

// A failed Windows call as the dispatcher reports it: its error code.
inline OpResult FailedOp(const Win32Error& error) {
    return OpResult{false, error.code};
}

// Whether the client whose request is being served may read the file behind
// `file` (a Windows file handle the service opened with READ_CONTROL), by the
// file's own security: Done when it may, ERROR_ACCESS_DENIED when it may not,
// or the failed call (the client's token could not be had). The service never
// acts as the client, so the client need not allow it to.
using CallerMayRead = std::function<Win32Status(void* file)>;

struct XrayStatus {
    bool running = false;
    std::uint32_t code = 0;
};

class CommandOperations {
  public:
    virtual ~CommandOperations() = default;

    // (true, 259) while the recorded core runs; (false, exit code) once it has
    // ended; (false, 0) when none is recorded.
    virtual XrayStatus QueryXrayStatus() = 0;

    // Starts the core with `configPath` (never empty, quotes already removed)
    // unless one is running. The configuration must be a file the client may
    // read (`mayRead`), which the service then reads itself.
    virtual OpResult StartXray(const std::wstring& configPath, const CallerMayRead& mayRead) = 0;

    // Stops the recorded core, if any. Always (true, 0).
    virtual OpResult StopXray() = 0;

    // Runs "\"programPath\" arguments" hidden and waits at most timeoutMs.
    // ok is true exactly when the program ended with exit code 0.
    virtual OpResult RunHelperProcess(const std::wstring& programPath,
                                      const std::wstring& arguments, std::uint32_t timeoutMs) = 0;

    // The file's last maxBytes bytes decoded as UTF-8; empty when there is
    // nothing to show.
    virtual std::wstring ReadFileTail(const std::wstring& path, std::int64_t maxBytes) = 0;

    // Directory of the running service program with its trailing separator,
    // or empty text.
    virtual std::wstring GetModuleDirectory() = 0;
};

}  // namespace velk
