#include "common/trusted_path.h"

#include <gtest/gtest.h>

#include "common/unique_handle.h"
#include "common_test_support.h"

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

}  // namespace
}  // namespace velk
