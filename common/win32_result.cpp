#include "common/win32_result.h"

#include "common/wide_text.h"

namespace velk {

std::wstring FailureText(const Win32Error& error) {
    return std::wstring(error.call) + L" failed. Error=" + ToDecimal(error.code);
}

}  // namespace velk
