#include "service/channel/client/pipe_framing.h"

#include "common/wide_text.h"

namespace velk {
namespace {

wchar_t CodeUnitAt(const unsigned char* bytes, std::size_t index) {
    return Utf16LeUnit(bytes[2 * index], bytes[2 * index + 1]);
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
    AppendUtf16Le(bytes, request);
    return bytes;
}

std::string EncodeResponse(const std::wstring& line) {
    std::string bytes = EncodeRequest(line);
    AppendUtf16Le(bytes, std::wstring(1, L'\0'));
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
