#pragma once
// What every fuzz harness shares: one way to stop at a broken property, and
// the ways fuzz bytes become text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/wide_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace velk::fuzz {

// Ends the process when a property does not hold: libFuzzer keeps the input
// as a crash, and a corpus replay fails its test.
inline void Require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

inline std::string Bytes(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Tool output as the command runner reads it: UTF-8, malformed bytes as
// U+FFFD; 0 bytes stay (as NUL units) to reach the parsers too.
inline std::wstring ToolText(const std::uint8_t* data, std::size_t size) {
    return Utf8ToWide(Bytes(data, size));
}

}  // namespace velk::fuzz
