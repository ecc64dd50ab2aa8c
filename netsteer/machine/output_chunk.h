#pragma once
// Decoding what a child wrote to its output pipe, one read chunk at a time.
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

}  // namespace netsteer
