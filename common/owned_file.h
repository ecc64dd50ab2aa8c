#pragma once
// Files our programs keep at fixed paths in C:\ProgramData, where another
// user may have put something first: a link, a folder, a file they own or
// hold open. What is there and not ours is moved aside, so that it can
// neither redirect what SYSTEM writes nor block it for good.
#include <windows.h>

#include <string>

#include "common/unique_handle.h"
#include "common/win32_result.h"

namespace velk {

struct OwnedFileRequest {
    std::wstring path;
    DWORD access = 0;  // data access, e.g. FILE_APPEND_DATA or GENERIC_WRITE
    DWORD share = 0;
    DWORD disposition = OPEN_ALWAYS;  // OPEN_ALWAYS or CREATE_ALWAYS
    const wchar_t* sddl = L"";        // the file's security, applied every time
    bool inheritable = false;
    // When the file is held open so that it can be neither opened nor moved:
    // true makes a fresh file beside it and uses that, false fails.
    bool freshWhenHeld = false;
};

struct OwnedFile {
    UniqueHandle handle;
    std::wstring path;        // the file opened: the request's path, or the fresh one
    std::wstring movedAside;  // where what was at the path went; empty when it stayed
};

// "<path>.<UTC yyyyMMdd-HHmmss-mmm>": the name a file is moved aside to.
std::wstring TimeStampedName(const std::wstring& path);

// Opens (or makes) the file at the request's path when it is ours: a plain
// file at exactly that path with one name, owned by SYSTEM, Administrators
// or this process's user; its DACL then becomes the one of `sddl`. Anything
// else there -- a link, a folder, a file with another owner, one we may not
// open, one held open without sharing -- is renamed to TimeStampedName and
// the file made anew. The failed call when none of that works.
Win32Result<OwnedFile> OpenOwnedFile(const OwnedFileRequest& request);

}  // namespace velk
