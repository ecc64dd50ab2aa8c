#include "common/trusted_path.h"

#include <aclapi.h>

#include <cwchar>
#include <vector>

#include "common/local_memory.h"
#include "common/unique_handle.h"

namespace velk {
namespace {

constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

// "\\?\C:\x" -> "C:\x", "\\?\UNC\host\share" -> "\\host\share".
std::wstring WithoutLongPrefix(const std::wstring& path) {
    if (StartsWith(path, kLongUncPrefix)) {
        return L"\\\\" + path.substr(std::wcslen(kLongUncPrefix));
    }
    if (StartsWith(path, kLongPrefix)) {
        return path.substr(std::wcslen(kLongPrefix));
    }
    return path;
}

// Calls `query(buffer, size)` (which returns the length written, or the size
// needed when the buffer is too small, or 0) until the text fits.
template <typename Query>
std::wstring QueryText(Query query) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length = query(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(static_cast<std::size_t>(length) + 1);
    }
    return {};
}

// Where the system says the handle's file is, in DOS form.
std::wstring FinalPath(HANDLE handle) {
    return WithoutLongPrefix(QueryText([handle](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(handle, buffer, size,
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }));
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// True when `actual` (a final path) names the same place as `expected`.
bool IsSamePath(const std::wstring& actual, const std::wstring& expected) {
    const std::wstring full = WithoutLongPrefix(QueryText([&expected](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(expected.c_str(), size, buffer, nullptr);
    }));
    if (SameText(actual, full)) {
        return true;
    }
    // The final path has long names; the expected one may use short ones.
    const std::wstring longForm = WithoutLongPrefix(QueryText([&full](wchar_t* buffer, DWORD size) {
        return GetLongPathNameW(full.c_str(), buffer, size);
    }));
    return SameText(actual, longForm);
}

bool IsOwnUser(PSID sid) {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) {
        return false;
    }
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0) {
        return false;
    }
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
        return false;
    }
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    return EqualSid(sid, user->User.Sid) != FALSE;
}

}  // namespace

bool IsTrustedOwner(HANDLE handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &raw) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueLocal<void> descriptor(raw);
    return owner != nullptr &&
           (IsWellKnownSid(owner, WinLocalSystemSid) ||
            IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsOwnUser(owner));
}

bool IsAtPath(HANDLE handle, const std::wstring& expectedPath) {
    return IsSamePath(FinalPath(handle), expectedPath);
}

bool IsFileAtPath(HANDLE file, const std::wstring& expectedPath) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) {
        return false;
    }
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks > 1) {
        return false;
    }
    return IsAtPath(file, expectedPath);
}

bool IsInDirectoryOf(HANDLE file, const std::wstring& expectedPath) {
    const auto parent = [](const std::wstring& path) {
        const std::size_t last = path.find_last_of(L"\\/");
        return last == std::wstring::npos ? std::wstring() : path.substr(0, last);
    };
    const std::wstring expectedParent = parent(expectedPath);
    return !expectedParent.empty() && IsSamePath(parent(FinalPath(file)), expectedParent);
}

}  // namespace velk
