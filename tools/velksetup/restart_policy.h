#pragma once
// Restart on failure for an installed service.
#include <cstdint>
#include <string>

namespace velk::setup {

struct SetupResult {
    bool ok = false;
    std::uint32_t code = 0;  // the Windows error code when !ok
    std::wstring detail;     // what was done, or which step failed
};

// Makes the service manager restart `serviceName` kRestartDelayMs after each
// of its first kRestartAttempts failures, counting again after
// kFailureCountResetSeconds. The setting is read back to be sure it holds.
SetupResult ApplyRestartOnFailure(const std::wstring& serviceName);

}  // namespace velk::setup
