#include "service/supervision/module_directory.h"

#include <windows.h>

#include <array>

namespace velk {

std::wstring GetModuleDirectory() {
    std::array<wchar_t, MAX_PATH> buffer{};
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    // A result that fills the whole buffer was cut off; the directory of a
    // cut-off path may be some other (parent) directory, so give none and let
    // the caller start its child by bare name from the program's own directory.
    if (length == 0 || length >= buffer.size()) {
        return std::wstring();
    }
    return DirectoryOfPath(std::wstring(buffer.data()));
}

}  // namespace velk
