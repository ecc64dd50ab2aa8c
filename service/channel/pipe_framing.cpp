#include "service/channel/pipe_framing.h"

namespace velk {
namespace {

// Every wchar_t holds one UTF-16 code unit on each platform we build for.
void AppendCodeUnit(std::string& out, wchar_t unit) {
    const auto value = static_cast<unsigned>(unit) & 0xFFFFu;
    out += static_cast<char>(value & 0xFFu);
    out += static_cast<char>(value >> 8);
}

wchar_t CodeUnitAt(const unsigned char* bytes, std::size_t index) {
    return static_cast<wchar_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

}  // namespace

std::wstring DecodeRequest(const unsigned char* bytes, std::size_t byteCount) {
    std::wstring text;
    const std::size_t units = byteCount / 2;
    text.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        const wchar_t unit = CodeUnitAt(bytes, i);
        if (unit == L'\0') {
            break;
        }
        text += unit;
    }
    return text;
}

std::wstring DecodeRequest(const std::string& bytes) {
    return DecodeRequest(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string EncodeRequest(const std::wstring& request) {
    std::string bytes;
    bytes.reserve(request.size() * 2);
    for (const wchar_t unit : request) {
        AppendCodeUnit(bytes, unit);
    }
    return bytes;
}

std::string EncodeResponse(const std::wstring& line) {
    std::string bytes = EncodeRequest(line);
    AppendCodeUnit(bytes, L'\0');
    return bytes;
}

DecodedResponse DecodeResponse(const std::string& bytes) {
    DecodedResponse result;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const wchar_t unit = CodeUnitAt(data, i);
        if (unit == L'\0') {
            result.found = true;
            break;
        }
        result.line += unit;
    }
    return result;
}

}  // namespace velk
