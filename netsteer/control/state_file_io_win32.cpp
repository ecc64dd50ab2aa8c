#include "netsteer/control/state_file_io.h"

#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/local_memory.h"
#include "common/unique_handle.h"

namespace netsteer {
namespace {

bool WriteAll(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

// The user this process runs as: SYSTEM in production; under Wine the one
// user Wine gives every process, which is also the owner of the files they
// create.
bool IsProcessUser(PSID sid) {
    velk::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) {
        return false;
    }
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER)) {
        return false;
    }
    // In 8-byte units, so that the TOKEN_USER at its start is aligned.
    std::vector<std::uint64_t> buffer((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
    if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
        return false;
    }
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    return EqualSid(sid, user->User.Sid) != FALSE;
}

bool IsTrustedOwner(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    // The owner SID points into the descriptor, which goes last.
    const velk::UniqueLocal<void> ownedDescriptor(descriptor);
    const bool trusted =
        owner != nullptr && IsValidSid(owner) &&
        (IsWellKnownSid(owner, WinLocalSystemSid) ||
         IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsProcessUser(owner));
    return trusted;
}

// A plain file (the handle was opened without following a reparse point, so
// a link shows here as one) with one name and a trusted owner.
bool IsTrustedFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) {
        return false;
    }
    constexpr DWORD kNotPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    return (info.dwFileAttributes & kNotPlain) == 0 && info.nNumberOfLinks == 1 &&
           IsTrustedOwner(file);
}

}  // namespace

bool ReadFileHead(const std::wstring& path, std::size_t maxBytes, std::string& bytes) {
    bytes.clear();
    // GENERIC_READ includes READ_CONTROL, which reading the owner needs.
    velk::UniqueHandle file(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || !IsTrustedFile(file.Get()) || IsMarkedOwnedByOtherAccount(path)) {
        return false;
    }
    char buffer[4096];
    while (bytes.size() < maxBytes) {
        const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, maxBytes - bytes.size()));
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer, want, &got, nullptr) || got == 0) {
            break;
        }
        bytes.append(buffer, got);
    }
    return true;
}

bool ReplaceFileAtomically(const std::wstring& path, const std::string& bytes) {
    // CREATE_NEW: a name that someone else created in the meantime (a link,
    // say) is never written through.
    std::wstring temporary;
    velk::UniqueHandle file;
    for (int attempt = 0; attempt < 16 && !file; ++attempt) {
        temporary = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                    std::to_wstring(attempt) + L".tmp";
        file.Reset(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file) {
        return false;
    }
    const bool written = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get());
    file.Reset();
    if (!written || !MoveFileExW(temporary.c_str(), path.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    ForgetOtherAccountMark(path);
    return true;
}

void RemoveFile(const std::wstring& path) {
    DeleteFileW(path.c_str());
    ForgetOtherAccountMark(path);
}

}  // namespace netsteer
