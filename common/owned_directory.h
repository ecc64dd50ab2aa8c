#pragma once
// Folders our programs keep at fixed paths in C:\ProgramData, where any user
// may make a folder first and put links in it: a link inside a folder we
// adopted would lead what SYSTEM writes there wherever the user chose. A
// folder that is not ours is therefore never taken over, but moved aside
// whole, and ours made in its place.
#include <string>

#include "common/folder_walk.h"
#include "common/win32_result.h"

namespace velk {

struct OwnedDirectoryRequest {
    std::wstring path;
    const wchar_t* sddl = L"";  // the folder's DACL, applied every time
    FolderLimits limits;        // how deep and how big a folder is checked at most
};

struct OwnedDirectory {
    bool made = false;        // made now: nothing was there, or it was moved aside
    std::wstring movedAside;  // where what was at the path went; empty when it stayed
    FolderVerdict found;      // why that was not ours
};

// Makes the folder at the request's path ours. A folder there stays, with
// everything in it, when CheckFolderOnDisk finds it ours: no link, file
// with a second name or other owner anywhere in it, and nothing too deep or
// too many to check. Anything else there (such a folder, a link, a file) is
// renamed whole to TimeStampedName and the folder made anew. Either way
// Administrators then own it and only the DACL of `sddl` applies, protected
// from inheritance and passed on to what it holds. The failed call when the
// descriptor or the folder cannot be made, or what is there can be neither
// used nor moved.
Win32Result<OwnedDirectory> PrepareOwnedDirectory(const OwnedDirectoryRequest& request);

}  // namespace velk
