#include "common/trusted_path.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include "common/local_memory.h"
#include "common/unique_handle.h"
#include "common_test_support.h"
#include "tests/support/running_under_wine.h"

namespace velk {
namespace {

using velk::test_support::WriteFileBytes;
using velk::testing::LinkFixture;
using velk::testing::TempDirectory;

UniqueHandle OpenForCheck(const std::wstring& path) {
    return UniqueHandle(CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | kOpenLinkItself, nullptr));
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(towupper(c));
    }
    return text;
}

std::wstring Slashed(std::wstring text) {
    for (wchar_t& c : text) {
        if (c == L'\\') {
            c = L'/';
        }
    }
    return text;
}

constexpr wchar_t kTestSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

class TrustedPathTest : public ::testing::Test {
  protected:
    TempDirectory temp_;
};

TEST_F(TrustedPathTest, AHandleIsAcceptedOnlyForThePlainFileAtItsPath) {
    const std::wstring plain = temp_.Path() + L"plain.log";
    const std::wstring other = temp_.Path() + L"other.log";
    const std::wstring secret = temp_.Path() + L"secret.txt";
    const std::wstring hardLink = temp_.Path() + L"hard.log";
    ASSERT_TRUE(WriteFileBytes(plain, "plain"));
    ASSERT_TRUE(WriteFileBytes(other, "other"));
    ASSERT_TRUE(WriteFileBytes(secret, "secret"));
    ASSERT_TRUE(CreateHardLinkW(hardLink.c_str(), secret.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(LinkFixture(L"real\\check-target.log"), "target"));

    struct Case {
        const wchar_t* what;
        std::wstring opened;
        std::wstring expected;
        bool accepted;
    };
    const Case cases[] = {
        {L"the file itself", plain, plain, true},
        {L"letter case differs", plain, Upper(plain), true},
        {L"forward slashes", plain, Slashed(plain), true},
        {L"dot segments", plain, temp_.Path() + L".\\sub\\..\\plain.log", true},
        {L"another file's handle", other, plain, false},
        {L"a hard link", hardLink, hardLink, false},
        {L"the other name of a hard-linked file", secret, secret, false},
        {L"a directory", temp_.Path(), temp_.Path(), false},
        {L"a symbolic link to a file", LinkFixture(L"check-link.log"),
         LinkFixture(L"check-link.log"), false},
        {L"a file reached through a directory link",
         LinkFixture(L"directory-link\\check-target.log"),
         LinkFixture(L"directory-link\\check-target.log"), false},
        {L"the link's target at its real path", LinkFixture(L"real\\check-target.log"),
         LinkFixture(L"real\\check-target.log"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UniqueHandle file = OpenForCheck(c.opened);
        ASSERT_TRUE(file);
        EXPECT_EQ(IsFileAtPath(file.Get(), c.expected), c.accepted);
    }
}

TEST_F(TrustedPathTest, RelativePathIsResolvedAgainstTheCurrentDirectory) {
    ASSERT_TRUE(WriteFileBytes(temp_.Path() + L"relative.log", "x"));
    wchar_t saved[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(temp_.Path().c_str()));
    UniqueHandle file = OpenForCheck(L"relative.log");
    const bool accepted = file && IsFileAtPath(file.Get(), L"relative.log");
    SetCurrentDirectoryW(saved);
    EXPECT_TRUE(accepted);
}

// "ready", "refused", or the call that failed.
std::wstring Outcome(const Win32Result<DirectoryCheck>& check) {
    if (!check) {
        return check.error().call;
    }
    return check.value() == DirectoryCheck::kReady ? L"ready" : L"refused";
}

TEST_F(TrustedPathTest, DirectoryIsMadeOrAcceptedOnlyWhenPlainAndWhereItSays) {
    const std::wstring fresh = temp_.Path() + L"fresh";
    const std::wstring existing = temp_.Path() + L"existing";
    const std::wstring file = temp_.Path() + L"a file";
    ASSERT_TRUE(CreateDirectoryW(existing.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(file, "not a directory"));

    struct Case {
        const wchar_t* what;
        std::wstring path;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"made now", fresh, L"ready"},
        {L"made before", fresh, L"ready"},
        {L"made by this user", existing, L"ready"},
        {L"a file in its place", file, L"refused"},
        {L"a symbolic link to a directory", LinkFixture(L"data-link"), L"refused"},
        {L"the link's target itself", LinkFixture(L"real-directory"), L"ready"},
        {L"below a directory link", LinkFixture(L"directory-link\\sub"), L"refused"},
        {L"parent missing", temp_.Path() + L"missing\\child", L"CreateDirectoryW"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Outcome(EnsureTrustedDirectory(c.path, kTestSddl)), c.expected);
    }
    RemoveDirectoryW(LinkFixture(L"real\\sub").c_str());
    EXPECT_EQ(GetFileAttributesW(fresh.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

// What a user who made the directory first could leave: the user as owner
// and full control for everyone, inherited by what is put inside.
bool GiveToUsers(const std::wstring& path) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BUD:(A;OICI;FA;;;WD)",
                                                              SDDL_REVISION_1, &raw, nullptr)) {
        return false;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    GetSecurityDescriptorOwner(raw, &owner, &defaulted);
    GetSecurityDescriptorDacl(raw, &present, &dacl, &defaulted);
    const UniqueLocal<void> descriptor(raw);
    return SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, owner,
                                 nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

std::wstring SecurityText(const std::wstring& path) {
    PSECURITY_DESCRIPTOR raw = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &raw) != ERROR_SUCCESS) {
        return L"unreadable";
    }
    const UniqueLocal<void> descriptor(raw);
    LPWSTR text = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorW(
        raw, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
        nullptr);
    const UniqueLocal<wchar_t> owned(text);
    return text != nullptr ? text : L"unconvertible";
}

// The DACL part of a descriptor's text.
std::wstring DaclText(const std::wstring& text) {
    const auto at = text.find(L"D:");
    return at == std::wstring::npos ? text : text.substr(at);
}

TEST_F(TrustedPathTest, DirectoryMadeByAnotherUserIsTakenOver) {
    const std::wstring path = temp_.Path() + L"made-by-user";
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    ASSERT_TRUE(GiveToUsers(path));
    const std::wstring before = SecurityText(path);
    ASSERT_NE(before.find(L";;;WD)"), std::wstring::npos)
        << "everyone may write before: " << std::string(before.begin(), before.end());

    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "taken over" : "taken over again");
        EXPECT_EQ(Outcome(EnsureTrustedDirectory(path, kTestSddl)), L"ready");
        // Wine keeps every file with the user who runs it and shows a DACL
        // made from the Unix permissions, whatever is set: there only the
        // outcome can be checked.
        if (!test_support::RunningUnderWine()) {
            const std::wstring after = SecurityText(path);
            EXPECT_EQ(DaclText(after), kTestSddl) << std::string(after.begin(), after.end());
            EXPECT_EQ(after.rfind(L"O:BA", 0), 0u) << std::string(after.begin(), after.end());
        }
    }
}

TEST_F(TrustedPathTest, MalformedSecurityTextMakesNoDirectory) {
    const std::wstring path = temp_.Path() + L"never";
    EXPECT_EQ(Outcome(EnsureTrustedDirectory(path, L"D:(nonsense")),
              L"ConvertStringSecurityDescriptorToSecurityDescriptorW");
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace velk
