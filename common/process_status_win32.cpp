#include "common/process_status.h"

namespace velk {

bool IsRunning(HANDLE process) {
    return WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

Win32Result<std::uint32_t> ExitCodeOf(HANDLE process) {
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code)) {
        return LastError(L"GetExitCodeProcess");
    }
    return std::uint32_t{code};
}

}  // namespace velk
