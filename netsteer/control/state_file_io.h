#pragma once
// The platform part of the state file: whole-file reads, atomic replacement
// and deletion, by wide path.
#include <cstddef>
#include <string>

namespace netsteer {

// Reads at most `maxBytes` from the start of the file. False when it cannot
// be opened or is not to be trusted: any local user may create files in the
// state file's directory, so only a plain file with one name, owned by the
// account this process runs as or by the system (SYSTEM, Administrators;
// root), is read. The checks look at the open file itself, so no swap between
// check and read can slip through. A read error ends the read with what was
// read so far.
bool ReadFileHead(const std::wstring& path, std::size_t maxBytes, std::string& bytes);

// Writes `bytes` to a new temporary file beside `path`, flushes it to disk and
// moves it over `path` (write-through); on Windows the file is for SYSTEM and
// Administrators only. A folder at `path` (someone else's, made to keep every
// state out) is first moved aside under a time-stamped name. The temporary
// file is never left behind. False when any step failed; `path` then keeps
// its old content.
bool ReplaceFileAtomically(const std::wstring& path, const std::string& bytes);

// Deletes the file; the result is not reported.
void RemoveFile(const std::wstring& path);

}  // namespace netsteer
