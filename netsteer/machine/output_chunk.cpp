#include "netsteer/machine/output_chunk.h"

#include <cstring>

#include "common/wide_text.h"

namespace netsteer {

std::wstring DecodeOutputChunk(const char* data, std::size_t size, const AnsiDecoder& ansi) {
    if (data == nullptr) {
        return std::wstring();
    }
    // The chunk is read as a NUL-terminated string: a 0 byte ends it.
    const void* nul = std::memchr(data, 0, size);
    const std::size_t length =
        nul == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(nul) - data);
    if (length == 0) {
        return std::wstring();
    }
    const std::string bytes(data, length);
    std::wstring text = velk::Utf8ToWide(bytes);
    if (text.empty() && ansi) {
        text = ansi(bytes);
    }
    return text;
}

}  // namespace netsteer
