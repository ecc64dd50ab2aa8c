#pragma once
// File helpers of the tests that run under Wine: build paths as Windows sees
// them, and whole files read and written as bytes.
#include <windows.h>

#include <string>

#include "common/unique_handle.h"

namespace velk::test_support {

// A path the build gives (Unix form) as Windows sees it: slashes become
// backslashes, and Wine shows the Unix root as drive Z:.
inline std::wstring WindowsPath(const char* buildPath) {
    std::string text = buildPath;
    std::wstring path(text.begin(), text.end());
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return path.size() > 1 && path[0] == L'\\' ? L"Z:" + path : path;
}

// The whole file, shared with writers; empty when it cannot be opened.
inline std::string ReadFileBytes(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file) {
        return bytes;
    }
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    return bytes;
}

// Replaces the file with `bytes`; true when all of them were written.
inline bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file &&
           WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

}  // namespace velk::test_support
