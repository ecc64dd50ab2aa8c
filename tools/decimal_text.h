#pragma once
// Reading numbers the tools take from their config and state files.
#include <cstdint>
#include <string>

namespace velk::tools {

// A 32-bit unsigned value in plain decimal: digits only (no sign, blanks or
// grouping), at most ten of them, and no more than 4294967295. `value` is
// left as it was when the text is not such a number.
inline bool ParseUint32(const std::wstring& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    std::uint64_t result = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        result = result * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    if (result > 0xFFFFFFFFull) {
        return false;
    }
    value = static_cast<std::uint32_t>(result);
    return true;
}

}  // namespace velk::tools
