#include "common/wide_text.h"

namespace velk {
namespace {

void AppendCodePoint(std::wstring& out, std::uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<wchar_t>(cp);
    }
}

// Valid range of the second byte of a sequence, by lead byte (RFC 3629).
bool SecondByteFits(unsigned char lead, unsigned char second) {
    if (lead == 0xE0)
        return second >= 0xA0 && second <= 0xBF;
    if (lead == 0xED)
        return second >= 0x80 && second <= 0x9F;
    if (lead == 0xF0)
        return second >= 0x90 && second <= 0xBF;
    if (lead == 0xF4)
        return second >= 0x80 && second <= 0x8F;
    return second >= 0x80 && second <= 0xBF;
}

}  // namespace

std::string WideToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = static_cast<std::uint32_t>(text[i]) & 0xFFFF;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
            const std::uint32_t low = static_cast<std::uint32_t>(text[i + 1]) & 0xFFFF;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacementCharacter;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::wstring Utf8ToWide(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t cp = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
        } else {
            out += kReplacementCharacter;
            ++i;
            continue;
        }
        // Consume the longest valid prefix; a broken sequence yields one
        // replacement and decoding resumes at the first byte that did not fit.
        std::size_t used = 1;
        while (used < length && i + used < n) {
            const auto next = static_cast<unsigned char>(bytes[i + used]);
            const bool fits = used == 1 ? SecondByteFits(lead, next) : (next & 0xC0) == 0x80;
            if (!fits) {
                break;
            }
            cp = (cp << 6) | (next & 0x3F);
            ++used;
        }
        if (used == length) {
            AppendCodePoint(out, cp);
        } else {
            out += kReplacementCharacter;
        }
        i += used;
    }
    return out;
}

void AppendUtf16Le(std::string& bytes, const std::wstring& text) {
    for (const wchar_t c : text) {
        const auto unit = static_cast<std::uint32_t>(c) & 0xFFFFu;
        bytes += static_cast<char>(unit & 0xFFu);
        bytes += static_cast<char>(unit >> 8);
    }
}

std::wstring ToDecimal(std::uint32_t value) {
    return std::to_wstring(value);
}

}  // namespace velk
