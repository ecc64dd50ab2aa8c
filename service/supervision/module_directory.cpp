#include "service/supervision/module_directory.h"

namespace velk {

std::wstring DirectoryOfPath(const std::wstring& programPath) {
    const std::size_t separator = programPath.find_last_of(L"\\/");
    if (separator == std::wstring::npos) {
        return std::wstring();
    }
    return programPath.substr(0, separator + 1);
}

}  // namespace velk
