#include "service/supervision/module_directory.h"

#include <unistd.h>

#include <array>
#include <string>

#include "common/wide_text.h"

namespace velk {

// Only the native test build runs here; the running program's path comes from
// /proc, and anything that cannot be read gives the empty text.
std::wstring GetModuleDirectory() {
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) {
        return std::wstring();
    }
    return DirectoryOfPath(
        Utf8ToWide(std::string(buffer.data(), static_cast<std::size_t>(length))));
}

}  // namespace velk
