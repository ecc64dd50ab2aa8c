#include "common/owned_file.h"

#include <aclapi.h>
#include <sddl.h>

#include <cwchar>

#include "common/local_memory.h"
#include "common/security_descriptor.h"
#include "common/trusted_path.h"

namespace velk {
namespace {

// Two tries: what is at the path, then the file made anew after moving it.
constexpr int kOpenAttempts = 2;

bool IsOurs(HANDLE file, const std::wstring& path) {
    return IsFileAtPath(file, path) && IsTrustedOwner(file);
}

// What is at `path` goes to a time-stamped name beside it. Renaming a link
// moves the link, never what it points to.
bool MoveAside(const std::wstring& path, std::wstring& movedTo) {
    const std::wstring target = TimeStampedName(path);
    if (!MoveFileExW(path.c_str(), target.c_str(), 0)) {
        return false;
    }
    movedTo = target;
    return true;
}

Win32Status ApplyDacl(HANDLE file, PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) {
        return Win32Error{L"GetSecurityDescriptorDacl", ERROR_INVALID_SECURITY_DESCR};
    }
    const DWORD status = SetSecurityInfo(
        file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
        nullptr, nullptr, dacl, nullptr);
    if (status != ERROR_SUCCESS) {
        return Win32Error{L"SetSecurityInfo", status};
    }
    return Done{};
}

}  // namespace

std::wstring TimeStampedName(const std::wstring& path) {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    wchar_t stamp[32] = {};
    std::swprintf(stamp, sizeof(stamp) / sizeof(stamp[0]), L".%04u%02u%02u-%02u%02u%02u-%03u",
                  now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds);
    return path + stamp;
}

Win32Result<OwnedFile> OpenOwnedFile(const OwnedFileRequest& request) {
    Win32Result<UniqueSecurityDescriptor> descriptor = SecurityDescriptorFromSddl(request.sddl);
    if (!descriptor) {
        return descriptor.error();
    }
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor.value().Get(),
                                   request.inheritable ? TRUE : FALSE};

    OwnedFile result;
    result.path = request.path;
    // READ_CONTROL and WRITE_DAC for the owner check and the DACL; sharing
    // does not cover them.
    const DWORD access = request.access | READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        UniqueHandle file(CreateFileW(result.path.c_str(), access, request.share, &attributes,
                                      request.disposition, FILE_ATTRIBUTE_NORMAL | kOpenLinkItself,
                                      nullptr));
        if (file && IsOurs(file.Get(), result.path)) {
            const Win32Status dacl = ApplyDacl(file.Get(), descriptor.value().Get());
            if (!dacl) {
                return dacl.error();
            }
            result.handle = std::move(file);
            return result;
        }
        // A folder, a file whose owner keeps us out, or one held open.
        const Win32Error failure =
            file ? Win32Error{L"IsFileAtPath", ERROR_ACCESS_DENIED} : LastError(L"CreateFileW");
        // Reached through a link on the way: what is there lies elsewhere and
        // is not ours to move.
        const bool elsewhere = file && !IsInDirectoryOf(file.Get(), result.path);
        file.Reset();
        if (elsewhere) {
            return failure;
        }
        if (attempt + 1 == kOpenAttempts || failure.code == ERROR_PATH_NOT_FOUND) {
            return failure;
        }
        if (MoveAside(result.path, result.movedAside)) {
            continue;
        }
        // Held open without delete sharing: it cannot even be renamed.
        if (!request.freshWhenHeld || failure.code != ERROR_SHARING_VIOLATION) {
            return failure;
        }
        result.path = TimeStampedName(request.path);
    }
    return Win32Error{L"CreateFileW", ERROR_ACCESS_DENIED};
}

}  // namespace velk
