#include "service/supervision/file_tail.h"

#include <windows.h>

#include <climits>
#include <string>

#include "common/trusted_path.h"
#include "common/unique_handle.h"

namespace velk {

Win32Result<std::wstring> ReadFileTail(const std::wstring& path, std::int64_t maxBytes,
                                       std::int64_t from) {
    // The running core keeps the runtime log open for appending; share
    // everything so that neither side is refused.
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | kOpenLinkItself, nullptr));
    // Any client may ask for this text: a link at the path must not let it
    // read some other file SYSTEM can open.
    if (!file) {
        return LastError(L"CreateFileW");
    }
    if (!IsFileAtPath(file.Get(), path)) {
        return Win32Error{L"IsFileAtPath", ERROR_ACCESS_DENIED};
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) {
        return LastError(L"GetFileSizeEx");
    }
    std::int64_t start = TailStartOffset(size.QuadPart, maxBytes, from);
    // The conversion takes a 32-bit count.
    if (size.QuadPart - start > INT_MAX) {
        start = size.QuadPart - INT_MAX;
    }
    const std::int64_t wanted = size.QuadPart - start;
    if (wanted <= 0) {
        return std::wstring();
    }
    LARGE_INTEGER position{};
    position.QuadPart = start;
    if (!SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN)) {
        return LastError(L"SetFilePointerEx");
    }

    // Only the bytes that were there when the size was taken: a writer that
    // keeps appending cannot make the read unbounded.
    std::string bytes(static_cast<std::size_t>(wanted), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const std::size_t remaining = bytes.size() - filled;
        const DWORD chunk = remaining > 0x100000 ? 0x100000 : static_cast<DWORD>(remaining);
        DWORD read = 0;
        if (!ReadFile(file.Get(), &bytes[filled], chunk, &read, nullptr)) {
            // What was read before stays worth showing.
            if (filled == 0) {
                return LastError(L"ReadFile");
            }
            break;
        }
        if (read == 0) {
            break;
        }
        filled += read;
    }
    if (filled == 0) {
        return std::wstring();
    }

    const int byteCount = static_cast<int>(filled);
    const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), byteCount, nullptr, 0);
    if (length <= 0) {
        return LastError(L"MultiByteToWideChar");
    }
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    const int written = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), byteCount, &text[0], length);
    if (written <= 0) {
        return LastError(L"MultiByteToWideChar");
    }
    text.resize(static_cast<std::size_t>(written));
    ReplaceNulCharacters(text);
    return text;
}

}  // namespace velk
