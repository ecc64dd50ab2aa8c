// The decoder of one read chunk of a child's output. Properties: the text is
// the UTF-8 decoding of the bytes before the first 0 byte, never longer than
// they are and without a NUL; bytes after that 0 byte change nothing; the
// ANSI decoder is never asked for a chunk that has bytes before its 0 byte;
// and text without a replacement character encodes back to those very bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/wide_text.h"
#include "netsteer/machine/output_chunk.h"
#include "tests/fuzz/fuzz_check.h"

using velk::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* chunk = reinterpret_cast<const char*>(data);
    bool ansiAsked = false;
    const netsteer::AnsiDecoder ansi = [&ansiAsked](const std::string&) {
        ansiAsked = true;
        return std::wstring(L"ANSI");
    };
    const std::wstring text = netsteer::DecodeOutputChunk(chunk, size, ansi);

    const void* zero = std::memchr(chunk, 0, size);
    const std::size_t counted =
        zero == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(zero) - chunk);
    const std::string bytes(chunk, counted);
    Require(text.size() <= counted, "never more code units than bytes");
    Require(text.find(L'\0') == std::wstring::npos, "no NUL in the text");
    Require(!ansiAsked && text.empty() == (counted == 0), "UTF-8 decodes every counted byte");
    Require(text == velk::Utf8ToWide(bytes), "the text is the UTF-8 decoding of the counted bytes");
    Require(netsteer::DecodeOutputChunk(bytes.data(), bytes.size(), nullptr) == text,
            "bytes after the first 0 byte change nothing");
    if (text.find(L'\xFFFD') == std::wstring::npos) {
        Require(velk::WideToUtf8(text) == bytes, "well-formed text encodes back to its bytes");
    }
    return 0;
}
