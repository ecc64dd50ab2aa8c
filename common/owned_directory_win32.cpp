#include "common/owned_directory.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <utility>

#include "common/disk_folder.h"
#include "common/local_memory.h"
#include "common/owned_file.h"
#include "common/security_descriptor.h"
#include "common/trusted_path.h"
#include "common/unique_handle.h"

namespace velk {
namespace {

// What is at the path, then the folder made anew after moving that aside.
constexpr int kPrepareAttempts = 2;

// SeTakeOwnershipPrivilege, enabled while this lives if the token holds it
// (SYSTEM and elevated administrators do): WRITE_OWNER on a folder of ours
// whatever an administrator has since done to its DACL.
class TakeOwnershipPrivilege {
  public:
    TakeOwnershipPrivilege() {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                              token_.Put())) {
            return;
        }
        TOKEN_PRIVILEGES wanted{};
        wanted.PrivilegeCount = 1;
        wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!LookupPrivilegeValueW(nullptr, SE_TAKE_OWNERSHIP_NAME, &wanted.Privileges[0].Luid)) {
            return;
        }
        DWORD size = sizeof(previous_);
        adjusted_ = AdjustTokenPrivileges(token_.Get(), FALSE, &wanted, sizeof(previous_),
                                          &previous_, &size) != FALSE &&
                    GetLastError() == ERROR_SUCCESS;
    }
    ~TakeOwnershipPrivilege() {
        if (adjusted_) {
            AdjustTokenPrivileges(token_.Get(), FALSE, &previous_, 0, nullptr, nullptr);
        }
    }
    TakeOwnershipPrivilege(const TakeOwnershipPrivilege&) = delete;
    TakeOwnershipPrivilege& operator=(const TakeOwnershipPrivilege&) = delete;

  private:
    UniqueHandle token_;
    TOKEN_PRIVILEGES previous_{};
    bool adjusted_ = false;
};

// Administrators own the folder and only `descriptor`'s DACL applies, nothing
// inherited from C:\ProgramData (where Users may read). Called only for a
// folder found ours, so the system passes the DACL on to what it holds
// without meeting a link.
Win32Status SecureDirectory(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) {
        return Win32Error{L"GetSecurityDescriptorDacl", ERROR_INVALID_SECURITY_DESCR};
    }
    unsigned char administrators[SECURITY_MAX_SID_SIZE] = {};
    DWORD sidSize = sizeof(administrators);
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize)) {
        return LastError(L"CreateWellKnownSid");
    }
    const TakeOwnershipPrivilege privilege;
    UniqueHandle directory(
        CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | kOpenLinkItself, nullptr));
    if (!directory) {
        return LastError(L"CreateFileW");
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(directory.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        !IsAtPath(directory.Get(), path)) {
        return Win32Error{L"IsAtPath", ERROR_ACCESS_DENIED};
    }
    const DWORD status = SetSecurityInfo(directory.Get(), SE_FILE_OBJECT,
                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                             PROTECTED_DACL_SECURITY_INFORMATION,
                                         administrators, nullptr, dacl, nullptr);
    if (status != ERROR_SUCCESS) {
        return Win32Error{L"SetSecurityInfo", status};
    }
    return Done{};
}

}  // namespace

Win32Result<OwnedDirectory> PrepareOwnedDirectory(const OwnedDirectoryRequest& request) {
    Win32Result<UniqueSecurityDescriptor> descriptor = SecurityDescriptorFromSddl(request.sddl);
    if (!descriptor) {
        return descriptor.error();
    }
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor.value().Get(), FALSE};

    OwnedDirectory result;
    for (int attempt = 0; attempt < kPrepareAttempts; ++attempt) {
        result.made = CreateDirectoryW(request.path.c_str(), &attributes) != FALSE;
        if (!result.made) {
            const Win32Error error = LastError(L"CreateDirectoryW");
            if (error.code != ERROR_ALREADY_EXISTS) {
                return error;
            }
        }
        // Also after making it: what counts is what is there now.
        FolderVerdict verdict = CheckFolderOnDisk(request.path, request.limits);
        if (verdict.Ours()) {
            const Win32Status secured = SecureDirectory(request.path, descriptor.value().Get());
            if (!secured) {
                return secured.error();
            }
            return result;
        }
        if (attempt + 1 == kPrepareAttempts) {
            break;
        }
        // Windows renames a link itself, never what it leads to. (Wine, which
        // has no junctions, renames what a Unix link leads to.)
        const std::wstring target = TimeStampedName(request.path);
        if (!MoveFileExW(request.path.c_str(), target.c_str(), 0)) {
            return LastError(L"MoveFileExW");
        }
        result.movedAside = target;
        result.found = std::move(verdict);
    }
    // Made anew and at once not ours: someone keeps putting a folder there.
    return Win32Error{L"CheckFolderOnDisk", ERROR_ACCESS_DENIED};
}

}  // namespace velk
