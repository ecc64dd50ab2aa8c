#include "netsteer/control/state_file_io.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <sddl.h>

#include "common/local_memory.h"
#include "common/owned_file.h"
#include "common/trusted_path.h"
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

}  // namespace

bool ReadFileHead(const std::wstring& path, std::size_t maxBytes, std::string& bytes) {
    bytes.clear();
    // GENERIC_READ includes READ_CONTROL, which reading the owner needs.
    velk::UniqueHandle file(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | velk::kOpenLinkItself, nullptr));
    // The plain file at that very path (no link, no second name) with an
    // owner that only SYSTEM, Administrators or this user can be.
    if (!file || !velk::IsFileAtPath(file.Get(), path) || !velk::IsTrustedOwner(file.Get())) {
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
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(velk::kSystemOnlyFileSddl,
                                                              SDDL_REVISION_1, &raw, nullptr)) {
        return false;
    }
    const velk::UniqueLocal<void> descriptor(raw);
    // The file is for SYSTEM and Administrators only; the move keeps the
    // temporary file's security.
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), raw, FALSE};
    // CREATE_NEW: a name that someone else created in the meantime (a link,
    // say) is never written through.
    std::wstring temporary;
    velk::UniqueHandle file;
    for (int attempt = 0; attempt < 16 && !file; ++attempt) {
        temporary = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                    std::to_wstring(attempt) + L".tmp";
        file.Reset(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file) {
        return false;
    }
    const bool written = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get());
    file.Reset();
    const auto replace = [&] {
        return MoveFileExW(temporary.c_str(), path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    };
    bool replaced = written && replace();
    // A folder (or a junction) someone made at the path would otherwise
    // refuse every state for good: it is moved aside and the move tried again.
    // A file or a link there is simply replaced.
    const DWORD attributesThere = GetFileAttributesW(path.c_str());
    if (written && !replaced && attributesThere != INVALID_FILE_ATTRIBUTES &&
        (attributesThere & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        MoveFileExW(path.c_str(), velk::TimeStampedName(path).c_str(), 0)) {
        replaced = replace();
    }
    if (!replaced) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

void RemoveFile(const std::wstring& path) {
    DeleteFileW(path.c_str());
}

}  // namespace netsteer
