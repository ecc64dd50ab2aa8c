#pragma once
// The folders Windows itself lives in, asked of the system, never of the
// environment. Windows only.
#include <string>

#include "common/win32_result.h"

namespace velk {

// GetSystemDirectoryW: "C:\Windows\system32", without a trailing backslash.
Win32Result<std::wstring> SystemDirectory();

// GetSystemWindowsDirectoryW: "C:\Windows", without a trailing backslash.
Win32Result<std::wstring> WindowsDirectory();

}  // namespace velk
