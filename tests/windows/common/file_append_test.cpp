#include "common/file_append.h"

#include <gtest/gtest.h>

#include "common_test_support.h"

namespace velk {
namespace {

using velk::test_support::ReadFileBytes;
using velk::test_support::WriteFileBytes;
using velk::testing::LinkFixture;
using velk::testing::TempDirectory;

TEST(FileAppendTest, AppendsToThePlainFileAndCreatesIt) {
    TempDirectory temp;
    const std::wstring path = temp.Path() + L"helper.log";
    EXPECT_TRUE(AppendToFile(path, "one\r\n"));
    EXPECT_TRUE(AppendToFile(path, "two\r\n"));
    EXPECT_EQ(ReadFileBytes(path), "one\r\ntwo\r\n");
}

// A link at the log's path must not let the entry land in the file the link
// leads to.
TEST(FileAppendTest, EntryIsDroppedWhenTheLogPathLeadsElsewhere) {
    TempDirectory temp;
    const std::wstring secret = temp.Path() + L"secret.txt";
    const std::wstring fixtureTarget = LinkFixture(L"real\\append-target.log");

    struct Case {
        const wchar_t* what;
        std::wstring target;   // the file the link leads to
        std::wstring logPath;  // where the entry is appended
        bool makeHardLink;
    };
    const Case cases[] = {
        {L"hard link", secret, temp.Path() + L"hard.log", true},
        {L"symbolic link to a file", fixtureTarget, LinkFixture(L"append-link.log"), false},
        {L"through a directory link", fixtureTarget,
         LinkFixture(L"directory-link\\append-target.log"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFileBytes(c.target, "untouched"));
        if (c.makeHardLink) {
            ASSERT_TRUE(CreateHardLinkW(c.logPath.c_str(), c.target.c_str(), nullptr));
        }
        EXPECT_FALSE(AppendToFile(c.logPath, "entry\r\n"));
        EXPECT_EQ(ReadFileBytes(c.target), "untouched");
    }
}

}  // namespace
}  // namespace velk
