#pragma once
// What a process handle (with SYNCHRONIZE and PROCESS_QUERY_LIMITED_INFORMATION)
// tells about the process.
#include <windows.h>

#include <cstdint>

#include "common/win32_result.h"

namespace velk {

// True while the process has not ended: its handle is not yet signalled. The
// exit code alone cannot tell, since 259 (STILL_ACTIVE) may be a real one.
bool IsRunning(HANDLE process);

// The exit code of the process, or the failed GetExitCodeProcess.
Win32Result<std::uint32_t> ExitCodeOf(HANDLE process);

}  // namespace velk
