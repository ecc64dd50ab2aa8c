#include "common/win32_result.h"

#include <windows.h>

namespace velk {

Win32Error LastError(const wchar_t* call) {
    return Win32Error{call, GetLastError()};
}

}  // namespace velk
