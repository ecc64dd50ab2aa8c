#pragma once
#include <string>

namespace velk {

// Appends bytes to the file at `path`, creating it if missing (its directory
// is not created). The file is opened for this call only, shared for reading,
// writing and deletion by others. Returns false when it could not be opened
// or not all bytes were written.
bool AppendToFile(const std::wstring& path, const std::string& bytes);

}  // namespace velk
