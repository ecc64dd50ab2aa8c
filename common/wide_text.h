#pragma once
// Conversions between wide text (UTF-16 code units, one per wchar_t on every
// platform we build for) and bytes.
#include <cstdint>
#include <string>

namespace velk {

// U+FFFD, what stands for a character that cannot be shown.
inline constexpr wchar_t kReplacementCharacter = 0xFFFD;

// UTF-16 code units to UTF-8. A lone surrogate becomes U+FFFD.
std::string WideToUtf8(const std::wstring& text);

// UTF-8 bytes to UTF-16 code units. Every malformed or cut-off sequence
// becomes one U+FFFD per maximal invalid subpart (the rule Windows follows
// for MultiByteToWideChar with CP_UTF8 and no flags).
std::wstring Utf8ToWide(const std::string& bytes);

// The pipe and the state file hold text as UTF-16LE: each code unit as two
// bytes, low byte first.
void AppendUtf16Le(std::string& bytes, const std::wstring& text);
inline wchar_t Utf16LeUnit(unsigned char low, unsigned char high) {
    return static_cast<wchar_t>(low | (high << 8));
}

// Unsigned decimal, no sign, padding or grouping.
std::wstring ToDecimal(std::uint32_t value);

}  // namespace velk
