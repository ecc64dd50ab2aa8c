#include "common/owned_directory.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <utility>
#include <vector>

#include "common/disk_folder.h"
#include "common/local_memory.h"
#include "common_test_support.h"
#include "tests/support/directory_link.h"
#include "tests/support/running_under_wine.h"

namespace velk {
namespace {

using test_support::ListedAsLink;
using test_support::MakeDirectoryLink;
using test_support::ReadFileBytes;
using test_support::WriteFileBytes;
using velk::testing::TempDirectory;

constexpr wchar_t kTestSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr FolderLimits kRoomy{4, 20};

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

bool IsPlainDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// The names in a directory, "." and ".." left out.
std::vector<std::wstring> Names(const std::wstring& directory) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    const UniqueFindHandle owned(search);
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(name);
        }
    } while (FindNextFileW(search, &found));
    return names;
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

class OwnedDirectoryTest : public ::testing::Test {
  protected:
    OwnedDirectoryTest() {
        CreateDirectoryW(Decoy().c_str(), nullptr);
        WriteFileBytes(Decoy() + L"\\marker.txt", "decoy");
    }
    // Before the temporary directory goes: its clean-up would follow a link.
    ~OwnedDirectoryTest() override { test_support::RemoveDirectoryLinksBelow(temp_.Path()); }

    // Where the planted links lead; nothing may be written there.
    std::wstring Decoy() const { return temp_.Path() + L"decoy"; }

    TempDirectory temp_;
};

enum class Plant { kNothing, kFolder, kLink, kFile };

// What a user could have left at the path before us. In a folder: files,
// each holding its own name; links to the decoy; second names of a file
// outside.
struct Contents {
    Plant plant = Plant::kNothing;
    std::vector<std::wstring> files;
    std::vector<std::wstring> links;
    std::vector<std::wstring> secondNames;
};

Contents Folder(std::vector<std::wstring> files, std::vector<std::wstring> links = {},
                std::vector<std::wstring> secondNames = {}) {
    return Contents{Plant::kFolder, std::move(files), std::move(links), std::move(secondNames)};
}
Contents Just(Plant plant) {
    return Contents{plant, {}, {}, {}};
}

enum class Outcome { kMade, kKept, kMovedAside };

// What must become of it: when moved aside, why, and the entry that showed
// it (after the path).
struct Expected {
    Outcome outcome = Outcome::kMade;
    std::wstring problem;
    std::wstring where;
};

Expected Became(Outcome outcome) {
    return Expected{outcome, L"", L""};
}
Expected MovedAside(const wchar_t* problem, const wchar_t* where) {
    return Expected{Outcome::kMovedAside, problem, where};
}

struct PlantCase {
    const char* what;
    Contents contents;
    FolderLimits limits;
    Expected expected;
};

class OwnedDirectoryPlantTest : public OwnedDirectoryTest {
  protected:
    std::wstring Outside() const { return temp_.Path() + L"outside.txt"; }

    bool Make(const std::wstring& path, const Contents& c) const {
        switch (c.plant) {
            case Plant::kNothing:
                return true;
            case Plant::kLink:
                return MakeDirectoryLink(path, Decoy());
            case Plant::kFile:
                return WriteFileBytes(path, "a file");
            case Plant::kFolder:
                break;
        }
        if (!CreateDirectoryW(path.c_str(), nullptr)) {
            return false;
        }
        for (const std::wstring& file : c.files) {
            for (std::size_t at = file.find(L'\\'); at != std::wstring::npos;
                 at = file.find(L'\\', at + 1)) {
                CreateDirectoryW((path + L"\\" + file.substr(0, at)).c_str(), nullptr);
            }
            if (!WriteFileBytes(path + L"\\" + file, Narrow(file))) {
                return false;
            }
        }
        for (const std::wstring& link : c.links) {
            if (!MakeDirectoryLink(path + L"\\" + link, Decoy())) {
                return false;
            }
        }
        for (const std::wstring& name : c.secondNames) {
            if (!CreateHardLinkW((path + L"\\" + name).c_str(), Outside().c_str(), nullptr)) {
                return false;
            }
        }
        return true;
    }
};

TEST_F(OwnedDirectoryPlantTest, OursIsKeptAndAnythingElseIsMovedAsideWhole) {
    ASSERT_TRUE(WriteFileBytes(Outside(), "outside"));
    const std::vector<std::wstring> logs{L"xray_runtime_error.log", L"sub\\access.log"};
    const FolderLimits tight{2, 3};
    const wchar_t* const aLink = L"a link or junction";
    const PlantCase cases[] = {
        {"nothing there", Just(Plant::kNothing), kRoomy, Became(Outcome::kMade)},
        {"our folder with logs", Folder(logs), kRoomy, Became(Outcome::kKept)},
        {"a junction inside", Folder(logs, {L"x"}), kRoomy, MovedAside(aLink, L"\\x")},
        {"a junction two levels in", Folder({L"a\\b\\keep.log"}, {L"a\\b\\x"}), kRoomy,
         MovedAside(aLink, L"\\a\\b\\x")},
        {"the folder itself a junction", Just(Plant::kLink), kRoomy, MovedAside(aLink, L"")},
        {"a second name of a file outside", Folder({L"a.log"}, {}, {L"hard.log"}), kRoomy,
         MovedAside(L"a file with more than one name", L"\\hard.log")},
        {"a file in its place", Just(Plant::kFile), kRoomy, MovedAside(L"not a folder", L"")},
        {"one level deeper than checked", Folder({L"a\\b\\c.log"}), tight,
         MovedAside(L"deeper than can be checked", L"\\a\\b\\c.log")},
        {"one entry more than checked", Folder({L"1", L"2", L"3", L"4"}), tight,
         MovedAside(L"more entries than can be checked", L"")},
        {"as deep and as many as checked", Folder({L"a\\b.log", L"c.log"}), tight,
         Became(Outcome::kKept)},
    };
    int number = 0;
    for (const PlantCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring path = temp_.Path() + L"data" + std::to_wstring(++number);
        // Wine renames what a Unix link leads to, never the link itself (seen
        // with MoveFileExW, and with a rename through a handle opened with
        // FILE_FLAG_OPEN_REPARSE_POINT): moving a link aside is shown only
        // where the system makes junctions (and AFolderThatIsALinkIsNotOurs).
        if (c.contents.plant == Plant::kLink && test_support::RunningUnderWine()) {
            continue;
        }
        ASSERT_TRUE(Make(path, c.contents));
        const OwnedDirectoryRequest request{path, kTestSddl, c.limits};
        const Win32Result<OwnedDirectory> result = PrepareOwnedDirectory(request);
        ASSERT_TRUE(result) << Narrow(result.error().call) << " " << result.error().code;
        const OwnedDirectory& got = result.value();

        EXPECT_TRUE(IsPlainDirectory(path));
        EXPECT_EQ(got.made, c.expected.outcome != Outcome::kKept);
        EXPECT_EQ(got.found.problem, c.expected.problem);
        EXPECT_EQ(got.found.path, c.expected.problem.empty() ? L"" : path + c.expected.where)
            << Narrow(got.found.path);
        // What was there, kept or moved aside whole.
        std::wstring holder = path;
        if (c.expected.outcome == Outcome::kMovedAside) {
            // "<path>.yyyyMMdd-HHmmss-mmm" beside it.
            ASSERT_EQ(got.movedAside.size(), path.size() + 20) << Narrow(got.movedAside);
            EXPECT_EQ(got.movedAside.compare(0, path.size() + 1, path + L"."), 0);
            EXPECT_TRUE(Names(path).empty()) << "made anew";
            holder = got.movedAside;
        } else {
            EXPECT_TRUE(got.movedAside.empty());
        }
        for (const std::wstring& file : c.contents.files) {
            EXPECT_EQ(ReadFileBytes(holder + L"\\" + file), Narrow(file)) << Narrow(file);
        }
        for (const std::wstring& link : c.contents.links) {
            EXPECT_TRUE(ListedAsLink(holder + L"\\" + link)) << Narrow(link);
        }
        for (const std::wstring& name : c.contents.secondNames) {
            EXPECT_EQ(ReadFileBytes(holder + L"\\" + name), "outside") << Narrow(name);
        }
        if (c.contents.plant == Plant::kLink) {
            EXPECT_TRUE(ListedAsLink(holder)) << "the link itself moved";
        }
        if (c.contents.plant == Plant::kFile) {
            EXPECT_EQ(ReadFileBytes(holder), "a file");
        }
        // Nothing went through a link to where it leads, nor was moved there.
        EXPECT_EQ(Names(Decoy()), std::vector<std::wstring>{L"marker.txt"});
        EXPECT_EQ(ReadFileBytes(Decoy() + L"\\marker.txt"), "decoy");
        EXPECT_EQ(ReadFileBytes(Outside()), "outside");
        // Wine keeps every file with the user who runs it and shows a DACL
        // made from the Unix permissions, whatever is set.
        if (!test_support::RunningUnderWine()) {
            const std::wstring security = SecurityText(path);
            EXPECT_EQ(security, std::wstring(L"O:BA") + kTestSddl) << Narrow(security);
        }

        // Ours now, so it stays: a folder is not moved aside at every start.
        const Win32Result<OwnedDirectory> again = PrepareOwnedDirectory(request);
        ASSERT_TRUE(again);
        EXPECT_FALSE(again.value().made);
        EXPECT_TRUE(again.value().movedAside.empty());
    }
}

// What Wine can show of a folder that is itself a link: it is not ours.
TEST_F(OwnedDirectoryTest, AFolderThatIsALinkIsNotOurs) {
    const std::wstring path = temp_.Path() + L"data";
    ASSERT_TRUE(MakeDirectoryLink(path, Decoy()));
    const FolderVerdict verdict = CheckFolderOnDisk(path, kRoomy);
    EXPECT_EQ(verdict.problem, L"a link or junction");
    EXPECT_EQ(verdict.path, path);
}

TEST_F(OwnedDirectoryTest, FailedCallsAreReportedAndMakeNothing) {
    struct Case {
        const char* what;
        std::wstring path;
        const wchar_t* sddl;
        const wchar_t* call;
    };
    const Case cases[] = {
        {"parent missing", temp_.Path() + L"missing\\child", kTestSddl, L"CreateDirectoryW"},
        {"malformed security text", temp_.Path() + L"never", L"D:(nonsense",
         L"ConvertStringSecurityDescriptorToSecurityDescriptorW"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Win32Result<OwnedDirectory> result =
            PrepareOwnedDirectory(OwnedDirectoryRequest{c.path, c.sddl, kRoomy});
        ASSERT_FALSE(result);
        EXPECT_EQ(std::wstring(result.error().call), c.call);
        EXPECT_EQ(GetFileAttributesW(c.path.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

// What is not ours and cannot be moved is never used: the failure is the answer.
TEST_F(OwnedDirectoryTest, WhatCannotBeMovedAsideIsAFailure) {
    const std::wstring path = temp_.Path() + L"data";
    const UniqueHandle holder(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    const Win32Result<OwnedDirectory> result =
        PrepareOwnedDirectory(OwnedDirectoryRequest{path, kTestSddl, kRoomy});
    ASSERT_FALSE(result);
    EXPECT_EQ(std::wstring(result.error().call), L"MoveFileExW");
    EXPECT_FALSE(IsPlainDirectory(path));
}

}  // namespace
}  // namespace velk
