#include "common/file_append.h"

#include <windows.h>

#include "common/log_entry.h"
#include "common/owned_file.h"

namespace velk {

extern const LineEnd kPlatformLineEnd = LineEnd::CrLf;

bool AppendToFile(const std::wstring& path, const std::string& bytes) {
    // FILE_APPEND_DATA alone makes every write land at the current end of the
    // file, even when another process appends at the same time. A link, a
    // folder or another user's file at the log's path is moved aside rather
    // than written through or left to keep the log out; an entry that cannot
    // be written is dropped.
    OwnedFileRequest request;
    request.path = path;
    request.access = FILE_APPEND_DATA;
    request.share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    request.disposition = OPEN_ALWAYS;
    request.sddl = kSystemOnlyFileSddl;
    const Win32Result<OwnedFile> file = OpenOwnedFile(request);
    if (!file) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file.value().handle.Get(), bytes.data(),
                              static_cast<DWORD>(bytes.size()), &written, nullptr);
    return ok && written == bytes.size();
}

}  // namespace velk
