#pragma once
#include <string>

namespace velk {

// Appends bytes to the file at `path`, creating it if missing (its directory
// is not created). The file is opened for this call only, shared for reading,
// writing and deletion by others. On Windows the file is kept for SYSTEM and
// Administrators only, and what is at `path` but not ours (a link, a folder,
// another user's file) is moved aside and the file made anew (owned_file.h).
// Returns false, writing nothing, when no file of ours could be opened there
// (say, the path is reached through a link), and false when not all bytes
// were written.
bool AppendToFile(const std::wstring& path, const std::string& bytes);

}  // namespace velk
