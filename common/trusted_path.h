#pragma once
// Our programs run as SYSTEM but write and read files in C:\ProgramData,
// where any user may create folders and files first. A user could put a
// link (junction, symbolic link, hard link) at one of our paths and have
// SYSTEM write or read a file of the user's choosing. These checks look at
// the handle we actually got, so that no swap between a check and the open
// can slip through.
#include <windows.h>

#include <string>

#include "common/win32_result.h"

namespace velk {

// Add to the flags of every CreateFileW whose handle goes to IsFileAtPath:
// a link in the last component is then opened itself instead of followed,
// and the check refuses it.
inline constexpr DWORD kOpenLinkItself = FILE_FLAG_OPEN_REPARSE_POINT;

// True when `file` is the plain file at `expectedPath` itself: the path the
// system resolves the handle to is the full expected path (letter case
// ignored), the file is no reparse point, and no second name (hard link)
// leads to it.
bool IsFileAtPath(HANDLE file, const std::wstring& expectedPath);

// True when the file behind `file` lies in the directory that `expectedPath`
// names, whatever its own name: nothing on the way there was redirected.
bool IsInDirectoryOf(HANDLE file, const std::wstring& expectedPath);

// True when the file or directory behind `handle` (opened with READ_CONTROL)
// is owned by SYSTEM, Administrators or the user this process runs as (SYSTEM
// for the service; under Wine the one user every file belongs to).
bool IsTrustedOwner(HANDLE handle);

// The outcome of EnsureTrustedDirectory when its calls succeeded.
enum class DirectoryCheck {
    kReady,    // created now, or already there and trusted
    kRefused,  // there, but a link, redirected elsewhere or owned by someone else
};

// Creates the directory at `path` with the security descriptor `sddl`. One
// that is already there must be a plain directory (no link of any kind) at
// exactly that path; it is then taken over, whoever made it: its owner
// becomes Administrators and its DACL that of `sddl`, protected from
// inheritance. Ready when the directory is then owned by SYSTEM,
// Administrators or the user this process runs as. The failed call when the
// descriptor or the directory could not be made.
Win32Result<DirectoryCheck> EnsureTrustedDirectory(const std::wstring& path, const wchar_t* sddl);

}  // namespace velk
