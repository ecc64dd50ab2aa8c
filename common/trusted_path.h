#pragma once
// Our programs run as SYSTEM but write and read files in C:\ProgramData,
// where any user may create folders and files first. A user could put a
// link (junction, symbolic link, hard link) at one of our paths and have
// SYSTEM write or read a file of the user's choosing. These checks look at
// the handle we actually got, so that no swap between a check and the open
// can slip through.
#include <windows.h>

#include <string>

namespace velk {

// Add to the flags of every CreateFileW whose handle goes to IsFileAtPath:
// a link in the last component is then opened itself instead of followed,
// and the check refuses it.
inline constexpr DWORD kOpenLinkItself = FILE_FLAG_OPEN_REPARSE_POINT;

// True when the system resolves `handle` to `expectedPath` (full, letter
// case ignored, short names as long): nothing on the way was redirected.
bool IsAtPath(HANDLE handle, const std::wstring& expectedPath);

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

}  // namespace velk
