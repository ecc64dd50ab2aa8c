#pragma once
// The folder walk (folder_walk.h) over the disk: each entry is opened itself,
// never followed, and what it is comes from its handle.
#include <string>

#include "common/folder_walk.h"

namespace velk {

// CheckFolder over the files and folders at `root` on disk. An entry is a
// link when its listing or its handle says it is a reparse point, lies
// elsewhere when the system resolves its handle to another path, and is
// listed through the handle its facts came from.
FolderVerdict CheckFolderOnDisk(const std::wstring& root, const FolderLimits& limits);

}  // namespace velk
