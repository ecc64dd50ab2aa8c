#include "service/supervision/caller_config.h"

#include <windows.h>

#include "common/trusted_path.h"
#include "common/unique_handle.h"
#include "service/policy/path_grammar.h"

namespace velk {
namespace {

constexpr DWORD kReadChunkBytes = 64 * 1024;

// The first folder on the way to `path` (after the drive) that is a link or
// junction; empty text when there is none. The final path check alone would
// miss one that leads back to the same place.
std::wstring LinkOnTheWay(const std::wstring& path) {
    for (std::size_t at = 3; at < path.size(); ++at) {
        if (!IsPathSeparator(path[at])) {
            continue;
        }
        const std::wstring folder = path.substr(0, at);
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return folder;
        }
    }
    return {};
}

}  // namespace

Win32Result<CallerConfig> ReadCallerConfig(const std::wstring& path, const CallerReadAccess& reader,
                                           std::uint64_t maxBytes) {
    CallerConfig config;
    const std::wstring link = LinkOnTheWay(path);
    if (!link.empty()) {
        config.problem = L"a link or junction on the way: " + link;
        return config;
    }
    // Shared for reading only, so that nobody writes while it is read.
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN | kOpenLinkItself, nullptr));
    if (!file) {
        return LastError(L"CreateFileW");
    }
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        config.problem = L"not a file on a disk";
        return config;
    }
    if (!IsFileAtPath(file.Get(), path)) {
        config.problem = L"a link, or not the file at that path";
        return config;
    }
    // Asked of the handle that is read from, so that nothing can be swapped
    // in between.
    if (const Win32Status may = reader.MayRead(file.Get()); !may) {
        return may.error();
    }
    std::string bytes;
    char chunk[kReadChunkBytes];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), chunk, sizeof(chunk), &read, nullptr)) {
            return LastError(L"ReadFile");
        }
        if (read == 0) {
            break;
        }
        bytes.append(chunk, read);
        if (bytes.size() > maxBytes) {
            config.problem = L"larger than " + std::to_wstring(maxBytes) + L" bytes";
            return config;
        }
    }
    config.bytes = std::move(bytes);
    return config;
}

}  // namespace velk
