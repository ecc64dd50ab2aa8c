#pragma once
#include <windows.h>

namespace velk::test_support {

// True under Wine, which keeps its own rules for some security calls.
inline bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace velk::test_support
