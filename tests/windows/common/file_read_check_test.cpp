// The read check against a file's own security, with an administrator's
// token and with one whose Administrators group is deny-only (an ordinary
// account). Seen here: Wine's AccessCheck grants such a token what an allow
// entry for Administrators grants (it honours deny entries), so there the
// ordinary account's column is only checked where a deny entry decides; the
// README's checks on a real Windows machine cover the rest.
#include "common/file_read_check.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <string>

#include "common/local_memory.h"
#include "common/unique_handle.h"
#include "tests/support/restricted_token.h"
#include "tests/support/running_under_wine.h"
#include "tests/support/temp_directory.h"

namespace velk {
namespace {

// An identification-level copy, as the service holds of a pipe client.
UniqueHandle IdentificationCopy(HANDLE token) {
    UniqueHandle copy;
    DuplicateTokenEx(token, TOKEN_QUERY, nullptr, SecurityIdentification, TokenImpersonation,
                     copy.Put());
    return copy;
}

TEST(FileReadCheckTest, TheFilesOwnSecurityDecidesForTheCallersToken) {
    UniqueHandle own;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, own.Put()));
    const UniqueHandle administrator = IdentificationCopy(own.Get());
    const UniqueHandle restricted = test_support::RestrictedToken();
    ASSERT_TRUE(restricted) << GetLastError();
    const UniqueHandle ordinary = IdentificationCopy(restricted.Get());
    ASSERT_TRUE(administrator && ordinary) << GetLastError();

    struct Case {
        const char* name;
        const wchar_t* sddl;  // the file's DACL
        bool administratorMay;
        bool ordinaryMay;
    };
    const Case cases[] = {
        {"administrators and SYSTEM only", L"D:P(A;;FA;;;BA)(A;;FA;;;SY)", true, false},
        {"users may read", L"D:P(A;;FA;;;BA)(A;;FR;;;BU)", true, true},
        {"users may only write", L"D:P(A;;FA;;;BA)(A;;FW;;;BU)", true, false},
        {"everyone denied reading", L"D:P(D;;FR;;;WD)(A;;FA;;;BA)", false, false},
    };
    testing::TempDirectory temp;
    for (const Case& c : cases) {
        const std::wstring path = temp.Path() + L"config.json";
        DeleteFileW(path.c_str());
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1,
                                                                         &descriptor, nullptr));
        const UniqueLocal<void> owned(descriptor);
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
        UniqueHandle made(CreateFileW(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(made) << c.name << ": " << GetLastError();
        made.Reset();
        // Opened as the service opens it: for reading and for its security.
        const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | READ_CONTROL,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file) << c.name << ": " << GetLastError();
        const Win32Status forAdministrator = TokenMayReadFile(administrator.Get(), file.Get());
        const Win32Status forOrdinary = TokenMayReadFile(ordinary.Get(), file.Get());
        EXPECT_EQ(static_cast<bool>(forAdministrator), c.administratorMay) << c.name;
        if (!test_support::RunningUnderWine() || !c.ordinaryMay == !c.administratorMay) {
            EXPECT_EQ(static_cast<bool>(forOrdinary), c.ordinaryMay) << c.name;
        }
        for (const Win32Status* status : {&forAdministrator, &forOrdinary}) {
            if (!*status) {
                EXPECT_EQ(status->error().code, static_cast<DWORD>(ERROR_ACCESS_DENIED)) << c.name;
            }
        }
    }
}

}  // namespace
}  // namespace velk
