#pragma once
// Running one command line through the command interpreter and collecting
// everything it prints as wide text. The chunk decoding is portable; the
// process and pipe handling is Windows-only.
#include <cstddef>
#include <functional>
#include <string>

namespace netsteer {

// Turns bytes that are not UTF-8 into wide text (the ANSI code page on
// Windows). Receives no 0 byte.
using AnsiDecoder = std::function<std::wstring(const std::string& bytes)>;

// Decodes one read chunk of a child's output. The chunk counts only up to its
// first 0 byte. It is decoded as UTF-8, each malformed sequence becoming
// U+FFFD; only when that yields nothing is `ansi` asked; when that yields
// nothing too, the chunk is dropped (empty result).
std::wstring DecodeOutputChunk(const char* data, std::size_t size, const AnsiDecoder& ansi);

#ifdef _WIN32
// Runs kCommandInterpreterPrefix + command with no window and returns its
// standard output and standard error, interleaved as written, decoded chunk by
// chunk. Waits for the child without a time-out. Empty when the pipe or the
// process could not be created.
std::wstring RunCommand(const std::wstring& command);

// The same for a complete command line (no interpreter prefix added): the
// seam that lets a test name a program that does not exist.
std::wstring RunHiddenCommandLine(const std::wstring& commandLine);

// Bytes in the system's ANSI code page to wide text; empty on failure.
std::wstring DecodeAnsiCodePage(const std::string& bytes);
#endif

}  // namespace netsteer
