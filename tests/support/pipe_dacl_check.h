#pragma once
// The access list every instance of the service pipe must carry, checked entry
// by entry in its order.
#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <iterator>
#include <memory>

#include "common/local_memory.h"
#include "service/channel/pipe_security.h"

namespace velk::test_support {

// The security descriptor of the pipe instance behind a client handle, and
// its DACL; `error` is what GetSecurityInfo answered.
struct PipeSecurity {
    DWORD error = ERROR_SUCCESS;
    PACL dacl = nullptr;
    velk::UniqueLocal<void> descriptor;
};

inline PipeSecurity ReadPipeSecurity(HANDLE pipe) {
    PipeSecurity security;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    security.error = GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                     nullptr, &security.dacl, nullptr, &descriptor);
    security.descriptor.Reset(descriptor);
    return security;
}

// `mask` with its generic rights mapped as for a file (and so a pipe).
inline DWORD MappedFileRights(DWORD mask) {
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                            FILE_ALL_ACCESS};
    MapGenericMask(&mask, &mapping);
    return mask;
}

// Anonymous denied everything first, then SYSTEM and Administrators full
// control, and authenticated users everything an ordinary client opening for
// reading and writing asks for, but not the rights to change the pipe's
// security or delete it. `dacl` is not null. Use as
// ASSERT_NO_FATAL_FAILURE(ExpectServicePipeDacl(dacl)).
inline void ExpectServicePipeDacl(PACL dacl) {
    struct Expected {
        WELL_KNOWN_SID_TYPE sid;
        BYTE type;
    };
    const Expected expected[] = {
        {WinAnonymousSid, ACCESS_DENIED_ACE_TYPE},
        {WinLocalSystemSid, ACCESS_ALLOWED_ACE_TYPE},
        {WinBuiltinAdministratorsSid, ACCESS_ALLOWED_ACE_TYPE},
        {WinAuthenticatedUserSid, ACCESS_ALLOWED_ACE_TYPE},
    };
    const DWORD readWriteClient = MappedFileRights(GENERIC_READ | GENERIC_WRITE);
    const DWORD securityRights = WRITE_DAC | WRITE_OWNER | DELETE;
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
        const DWORD rights = MappedFileRights(entry->Mask);
        if (expected[i].sid == WinAuthenticatedUserSid) {
            EXPECT_EQ(rights & readWriteClient, readWriteClient)
                << "a client opening with GENERIC_READ | GENERIC_WRITE is let in";
            EXPECT_EQ(rights & securityRights, 0u) << "users may not rewrite or delete the pipe";
        } else {
            EXPECT_EQ(rights, static_cast<DWORD>(FILE_ALL_ACCESS)) << "ACE " << i;
        }
    }
}

}  // namespace velk::test_support
