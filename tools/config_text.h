#pragma once
// Reading the line-based config and state files of the tools.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velk::tools {

struct ConfigLine {
    int number;  // counted from 1 over every line of the text
    std::wstring text;
};

// The lines of `text` that carry something: split at LF, with a CR before the
// LF dropped; blank lines and lines that start with "#" are left out.
inline std::vector<ConfigLine> ConfigLines(const std::wstring& text) {
    std::vector<ConfigLine> lines;
    std::size_t start = 0;
    int number = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == L'#') {
            continue;
        }
        lines.push_back({number, std::move(line)});
    }
    return lines;
}

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
