#include "common/file_append.h"

#include <windows.h>

#include "common/log_entry.h"
#include "common/trusted_path.h"
#include "common/unique_handle.h"

namespace velk {

extern const LineEnd kPlatformLineEnd = LineEnd::CrLf;

bool AppendToFile(const std::wstring& path, const std::string& bytes) {
    // FILE_APPEND_DATA alone makes every write land at the current end of the
    // file, even when another process appends at the same time. Reading the
    // attributes lets the handle be checked before anything is written.
    UniqueHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | kOpenLinkItself, nullptr));
    if (!file) {
        return false;
    }
    // A link someone placed at the log's path would have SYSTEM write where
    // they chose; the entry is dropped instead.
    if (!IsFileAtPath(file.Get(), path)) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return ok && written == bytes.size();
}

}  // namespace velk
