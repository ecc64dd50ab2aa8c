#include "common/file_read_check.h"

// After windows.h, which they need.
#include <aclapi.h>

#include <vector>

#include "common/local_memory.h"

namespace velk {

Win32Status TokenMayReadFile(HANDLE token, HANDLE file) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD got = GetSecurityInfo(
        file, SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (got != ERROR_SUCCESS) {
        return Win32Error{L"GetSecurityInfo", got};
    }
    const UniqueLocal<void> owned(descriptor);
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                            FILE_ALL_ACCESS};
    DWORD desired = FILE_GENERIC_READ;
    MapGenericMask(&desired, &mapping);
    // Room for the privileges a check may report using; none is asked for.
    std::vector<BYTE> privileges(sizeof(PRIVILEGE_SET) + 8 * sizeof(LUID_AND_ATTRIBUTES));
    DWORD privilegesSize = static_cast<DWORD>(privileges.size());
    DWORD granted = 0;
    BOOL allowed = FALSE;
    if (!AccessCheck(descriptor, token, desired, &mapping,
                     reinterpret_cast<PPRIVILEGE_SET>(privileges.data()), &privilegesSize, &granted,
                     &allowed)) {
        return LastError(L"AccessCheck");
    }
    if (!allowed) {
        return Win32Error{L"AccessCheck", ERROR_ACCESS_DENIED};
    }
    return Done{};
}

}  // namespace velk
