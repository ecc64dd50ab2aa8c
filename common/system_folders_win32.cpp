#include "common/system_folders.h"

#include <windows.h>

#include <vector>

namespace velk {
namespace {

// Calls `get` with a buffer large enough for its answer.
template <typename Get>
Win32Result<std::wstring> AskFolder(const wchar_t* call, Get get) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const UINT length = get(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) {
            return LastError(call);
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(length);  // the size it needs, with the terminator
    }
}

}  // namespace

Win32Result<std::wstring> SystemDirectory() {
    return AskFolder(L"GetSystemDirectoryW", GetSystemDirectoryW);
}

Win32Result<std::wstring> WindowsDirectory() {
    return AskFolder(L"GetSystemWindowsDirectoryW", GetSystemWindowsDirectoryW);
}

}  // namespace velk
