#pragma once
// This process's token with BUILTIN\Administrators made deny-only: under Wine,
// where every process runs as an administrator, the one way to have a real
// non-administrator (CheckTokenMembership and AccessCheck honour it;
// CreateProcessAsUserW starts a process with it).
#include <windows.h>

#include "common/unique_handle.h"

namespace velk::test_support {

inline UniqueHandle RestrictedToken() {
    UniqueHandle own;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY,
                          own.Put())) {
        return UniqueHandle();
    }
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size)) {
        return UniqueHandle();
    }
    SID_AND_ATTRIBUTES denyOnly{administrators, 0};
    UniqueHandle restricted;
    if (!CreateRestrictedToken(own.Get(), 0, 1, &denyOnly, 0, nullptr, 0, nullptr,
                               restricted.Put())) {
        return UniqueHandle();
    }
    return restricted;
}

}  // namespace velk::test_support
