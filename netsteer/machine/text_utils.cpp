#include "netsteer/machine/text_utils.h"

#include <limits>

namespace netsteer {
namespace {

bool InTrimSet(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

bool IsFieldSeparator(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

void SkipSeparators(const std::wstring& line, FieldCursor& cursor) {
    while (cursor.position < line.size() && IsFieldSeparator(line[cursor.position])) {
        ++cursor.position;
    }
}

bool ReadOctet(const std::wstring& text, std::size_t& pos) {
    const std::size_t start = pos;
    int value = 0;
    while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9' && pos - start < 3) {
        value = value * 10 + (text[pos] - L'0');
        ++pos;
    }
    const std::size_t length = pos - start;
    if (length == 0 || value > 255) {
        return false;
    }
    return length == 1 || text[start] != L'0';
}

}  // namespace

std::wstring Trim(const std::wstring& text) {
    std::size_t first = 0;
    while (first < text.size() && InTrimSet(text[first])) {
        ++first;
    }
    if (first == text.size()) {
        return std::wstring();
    }
    std::size_t last = text.size() - 1;
    while (InTrimSet(text[last])) {
        --last;
    }
    return text.substr(first, last - first + 1);
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::wstring ToLowerCase(const std::wstring& text) {
    std::wstring lower(text);
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return lower;
}

bool ReadTextField(const std::wstring& line, FieldCursor& cursor, std::wstring& field) {
    if (cursor.failed) {
        return false;
    }
    SkipSeparators(line, cursor);
    if (cursor.position >= line.size()) {
        cursor.failed = true;
        return false;
    }
    const std::size_t start = cursor.position;
    while (cursor.position < line.size() && !IsFieldSeparator(line[cursor.position])) {
        ++cursor.position;
    }
    field = line.substr(start, cursor.position - start);
    return true;
}

bool ReadIntField(const std::wstring& line, FieldCursor& cursor, std::int32_t& value) {
    if (cursor.failed) {
        return false;
    }
    SkipSeparators(line, cursor);
    std::size_t pos = cursor.position;
    bool negative = false;
    if (pos < line.size() && (line[pos] == L'+' || line[pos] == L'-')) {
        negative = line[pos] == L'-';
        ++pos;
    }
    // Accumulate as a magnitude with an early out, so a run of any length
    // cannot overflow.
    constexpr std::int64_t kMaxMagnitude =
        static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    std::int64_t magnitude = 0;
    bool anyDigit = false;
    bool tooLarge = false;
    while (pos < line.size() && IsDigit(line[pos])) {
        anyDigit = true;
        if (!tooLarge) {
            magnitude = magnitude * 10 + (line[pos] - L'0');
            tooLarge = magnitude > kMaxMagnitude;
        }
        ++pos;
    }
    cursor.position = pos;
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (!anyDigit || tooLarge || signedValue > std::numeric_limits<std::int32_t>::max()) {
        cursor.failed = true;
        return false;
    }
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

bool ParseLeadingInt(const std::wstring& text, std::int32_t& value) {
    FieldCursor cursor;
    return ReadIntField(text, cursor, value);
}

bool IsPlainDottedIPv4(const std::wstring& text) {
    std::size_t pos = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (pos >= text.size() || text[pos] != L'.') {
                return false;
            }
            ++pos;
        }
        if (!ReadOctet(text, pos)) {
            return false;
        }
    }
    return pos == text.size();
}

}  // namespace netsteer
