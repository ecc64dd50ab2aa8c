#pragma once
#include <string>

namespace velk {

// Appends bytes to the file at `path`, creating it if missing (its directory
// is not created). The file is opened for this call only, shared for reading,
// writing and deletion by others. Returns false, writing nothing, when it
// could not be opened or (on Windows) the opened file is not the plain file
// at `path` (a link of any kind; see trusted_path.h), and false when not all
// bytes were written.
bool AppendToFile(const std::wstring& path, const std::string& bytes);

}  // namespace velk
