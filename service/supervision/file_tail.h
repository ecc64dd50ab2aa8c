#pragma once
// The error log reader.
#ifdef _WIN32
#include <cstdint>
#include <string>

namespace velk {

// The last maxBytes bytes of the file, decoded as UTF-8 the way
// MultiByteToWideChar(CP_UTF8, 0) does (broken sequences become U+FFFD).
// The file is shared for reading, writing and deletion while it is read, so a
// writer that keeps it open is not disturbed. Empty on every failure: missing
// or unreadable file, empty file, nothing decodable, and a file that is not
// the plain file at `path` (a link of any kind; see trusted_path.h).
std::wstring ReadFileTail(const std::wstring& path, std::int64_t maxBytes);

}  // namespace velk
#endif
