#pragma once
// The access list every instance of the service pipe must carry, checked entry
// by entry in its order.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <iterator>
#include <memory>

#include "service/channel/pipe_security.h"

namespace velk::test_support {

// The security descriptor of the pipe instance behind a client handle, and
// its DACL; `error` is what GetSecurityInfo answered.
struct PipeSecurity {
    DWORD error = ERROR_SUCCESS;
    PACL dacl = nullptr;
    std::unique_ptr<void, decltype(&LocalFree)> descriptor{nullptr, &LocalFree};
};

inline PipeSecurity ReadPipeSecurity(HANDLE pipe) {
    PipeSecurity security;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    security.error = GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                     nullptr, &security.dacl, nullptr, &descriptor);
    security.descriptor.reset(descriptor);
    return security;
}

// Anonymous denied everything first, then SYSTEM full control, Administrators
// and authenticated users their narrower rights; only SYSTEM may add
// instances. `dacl` is not null. Use as ASSERT_NO_FATAL_FAILURE(ExpectServicePipeDacl(dacl)).
inline void ExpectServicePipeDacl(PACL dacl) {
    struct Expected {
        WELL_KNOWN_SID_TYPE sid;
        BYTE type;
        DWORD mask;
    };
    const Expected expected[] = {
        {WinAnonymousSid, ACCESS_DENIED_ACE_TYPE, kPipeFullControl},
        {WinLocalSystemSid, ACCESS_ALLOWED_ACE_TYPE, kPipeFullControl},
        {WinBuiltinAdministratorsSid, ACCESS_ALLOWED_ACE_TYPE, kPipeAdministratorRights},
        {WinAuthenticatedUserSid, ACCESS_ALLOWED_ACE_TYPE, kPipeUserRights},
    };
    ASSERT_EQ(dacl->AceCount, std::size(expected));
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        const auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);  // same layout when denied
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD sidSize = sizeof(sid);
        ASSERT_TRUE(CreateWellKnownSid(expected[i].sid, nullptr, sid, &sidSize));
        EXPECT_EQ(entry->Header.AceType, expected[i].type) << "ACE " << i;
        EXPECT_TRUE(EqualSid(const_cast<DWORD*>(&entry->SidStart), sid)) << "ACE " << i;
        EXPECT_EQ(entry->Mask, expected[i].mask) << "ACE " << i;
        const bool createsInstances = entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                                      (entry->Mask & kPipeCreateInstanceRight) != 0;
        EXPECT_EQ(createsInstances, expected[i].sid == WinLocalSystemSid) << "ACE " << i;
    }
}

}  // namespace velk::test_support
