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
// leads to: a link at the path itself is moved aside and the log made anew;
// a path reached through a directory link is not ours to touch at all. (A
// symbolic link at the path itself is left to the checks on Windows: Wine
// renames what such a link leads to, where Windows renames the link.)
TEST(FileAppendTest, EntryNeverLandsWhereALinkLeads) {
    TempDirectory temp;
    const std::wstring secret = temp.Path() + L"secret.txt";
    const std::wstring fixtureTarget = LinkFixture(L"real\\append-target.log");

    struct Case {
        const wchar_t* what;
        std::wstring target;   // the file the link leads to
        std::wstring logPath;  // where the entry is appended
        bool makeHardLink;
        bool written;  // into a fresh log at logPath
    };
    const Case cases[] = {
        {L"hard link", secret, temp.Path() + L"hard.log", true, true},
        {L"through a directory link", fixtureTarget,
         LinkFixture(L"directory-link\\append-target.log"), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFileBytes(c.target, "untouched"));
        if (c.makeHardLink) {
            ASSERT_TRUE(CreateHardLinkW(c.logPath.c_str(), c.target.c_str(), nullptr));
        }
        EXPECT_EQ(AppendToFile(c.logPath, "entry\r\n"), c.written);
        EXPECT_EQ(ReadFileBytes(c.target), "untouched");
        if (c.written) {
            EXPECT_EQ(ReadFileBytes(c.logPath), "entry\r\n");
        }
    }
}

TEST(FileAppendTest, AFolderAtTheLogPathIsMovedAside) {
    TempDirectory temp;
    const std::wstring path = temp.Path() + L"helper.log";
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    EXPECT_TRUE(AppendToFile(path, "entry\r\n"));
    EXPECT_EQ(ReadFileBytes(path), "entry\r\n");
}

}  // namespace
}  // namespace velk
