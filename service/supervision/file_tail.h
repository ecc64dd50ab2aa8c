#pragma once
// The error log reader: the last bytes of a file, decoded.
#include <cstdint>
#include <string>

#include "common/win32_result.h"

namespace velk {

// Where reading starts so that at most maxBytes of a file of fileSize bytes
// are read: fileSize - maxBytes when the file is larger, else 0, but never
// before `from` (what came before belongs to someone else). A file shorter
// than `from` was cut or replaced since, so all of it is newer and `from`
// does not hold. A negative maxBytes is taken as 0 (nothing is read).
std::int64_t TailStartOffset(std::int64_t fileSize, std::int64_t maxBytes, std::int64_t from = 0);

// Puts U+FFFD in place of every U+0000 of decoded text: the pipe's answer
// ends at the first NUL, so one written by the core would cut it short. Pure.
void ReplaceNulCharacters(std::wstring& text);

// (Windows) The last maxBytes bytes of the file from `from` on
// (TailStartOffset), decoded as UTF-8 the way
// MultiByteToWideChar(CP_UTF8, 0) does (broken sequences become U+FFFD), with
// every NUL replaced (ReplaceNulCharacters); empty for an empty file or
// nothing to read. The file is shared for reading,
// writing and deletion while it is read, so a writer that keeps it open is
// not disturbed. The failed call when the file cannot be opened or read; a
// file that is not the plain file at `path` (a link of any kind; see
// trusted_path.h) is refused as IsFileAtPath with ERROR_ACCESS_DENIED.
Win32Result<std::wstring> ReadFileTail(const std::wstring& path, std::int64_t maxBytes,
                                       std::int64_t from = 0);

}  // namespace velk
