// The route state file: its exact bytes, the fgetws reading rules, the
// refusal of addresses that are not plain dotted IPv4, and the atomic write.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "netsteer/control/route_state.h"
#include "netsteer/control/state_file_io.h"
#include "netsteer/machine/text_utils.h"
#include "tests/unit/control/control_fixtures.h"
#include "tests/unit/control/foreign_owner.h"

namespace netsteer::testing {
namespace {

// Test-side encoder, independent of the one under test.
std::string Utf16Le(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(static_cast<unsigned>(c) & 0xFF);
        bytes += static_cast<char>((static_cast<unsigned>(c) >> 8) & 0xFF);
    }
    return bytes;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(RouteStateFile, ExampleIsTheFiftyFourBytesOfTheFormat) {
    const unsigned char expected[] = {'1',  0, '9', 0, '2', 0, '.', 0, '1',  0, '6',  0, '8', 0,
                                      '.',  0, '1', 0, '.', 0, '1', 0, '\n', 0, '1',  0, '2', 0,
                                      '\n', 0, '2', 0, '0', 0, '3', 0, '.',  0, '0',  0, '.', 0,
                                      '1',  0, '1', 0, '3', 0, '.', 0, '7',  0, '\n', 0};
    static_assert(sizeof expected == 54, "the example is 54 bytes");
    TempStateFile file;

    ASSERT_TRUE(SaveState(file.Path(), {L"192.168.1.1", 12, L"203.0.113.7"}));

    EXPECT_EQ(ReadAll(file.Path()),
              std::string(reinterpret_cast<const char*>(expected), sizeof expected));
}

// Interface indexes start at 1: a record with any other index is refused on
// the way in, so start never relies on a file that stop would reject or read
// differently.
TEST(RouteStateFile, OnlyRecordsThatReadBackUnchangedAreSaved) {
    TempStateFile file;
    for (const std::int32_t index : {1, 2147483647}) {
        ASSERT_TRUE(SaveState(file.Path(), {L"10.0.0.1", index, L"0.0.0.0"}));
        RouteState loaded;
        ASSERT_TRUE(LoadState(file.Path(), loaded)) << index;
        EXPECT_EQ(loaded.gateway, L"10.0.0.1");
        EXPECT_EQ(loaded.interfaceIndex, index);
        EXPECT_EQ(loaded.serverIp, L"0.0.0.0");
    }
    // Refused too: a record whose bytes would read back as other values.
    const RouteState refused[] = {
        {L"10.0.0.1", 0, L"0.0.0.0"},
        {L"10.0.0.1", -1, L"0.0.0.0"},
        {L"10.0.0.1", -2147483647 - 1, L"0.0.0.0"},
        {L"10.0.0.1\n5\n10.0.0.9", 7, L"10.0.0.2"},
        {L" 10.0.0.1", 7, L"10.0.0.2"},
        {L"10.0.0.1", 7, L"10.0.0.2\nextra"},
    };
    for (std::size_t i = 0; i < std::size(refused); ++i) {
        DeleteState(file.Path());
        EXPECT_FALSE(SaveState(file.Path(), refused[i])) << "record " << i;
        EXPECT_FALSE(std::filesystem::exists(file.Path())) << "record " << i;
    }
    EXPECT_EQ(EncodeRouteState({L"10.0.0.1", -2147483647 - 1, L"0.0.0.0"}),
              Utf16Le(L"10.0.0.1\n-2147483648\n0.0.0.0\n"));
}

struct ReadCase {
    const char* name;
    std::string bytes;
    bool accepted;
    RouteState expected;
};

class StateReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(StateReading, FollowsTheLineRules) {
    const ReadCase& c = GetParam();
    TempStateFile file;
    WriteAll(file.Path(), c.bytes);
    RouteState loaded{L"untouched", -7, L"untouched"};
    ASSERT_EQ(LoadState(file.Path(), loaded), c.accepted) << c.name;
    if (c.accepted) {
        EXPECT_EQ(loaded.gateway, c.expected.gateway) << c.name;
        EXPECT_EQ(loaded.interfaceIndex, c.expected.interfaceIndex) << c.name;
        EXPECT_EQ(loaded.serverIp, c.expected.serverIp) << c.name;
    } else {
        EXPECT_EQ(loaded.gateway, L"untouched") << c.name;
    }
}

const RouteState kExample{L"192.168.1.1", 12, L"203.0.113.7"};

INSTANTIATE_TEST_SUITE_P(
    Cases, StateReading,
    ::testing::Values(
        ReadCase{"as written", Utf16Le(L"192.168.1.1\n12\n203.0.113.7\n"), true, kExample},
        ReadCase{"CR LF line ends", Utf16Le(L"192.168.1.1\r\n12\r\n203.0.113.7\r\n"), true,
                 kExample},
        ReadCase{"no final LF", Utf16Le(L"192.168.1.1\n12\n203.0.113.7"), true, kExample},
        ReadCase{"blanks around the values", Utf16Le(L" 192.168.1.1\t\n 12 \n203.0.113.7 \n"), true,
                 kExample},
        ReadCase{"12abc reads as 12", Utf16Le(L"192.168.1.1\n12abc\n203.0.113.7\n"), true,
                 kExample},
        ReadCase{"a fourth line is ignored", Utf16Le(L"192.168.1.1\n12\n203.0.113.7\nxyz\n"), true,
                 kExample},
        ReadCase{"abc is no index", Utf16Le(L"192.168.1.1\nabc\n203.0.113.7\n"), false, {}},
        ReadCase{"eleven digits do not fit",
                 Utf16Le(L"192.168.1.1\n12345678901\n203.0.113.7\n"),
                 false,
                 {}},
        ReadCase{"empty index line", Utf16Le(L"192.168.1.1\n\n203.0.113.7\n"), false, {}},
        ReadCase{"index 1 is the smallest", Utf16Le(L"192.168.1.1\n1\n203.0.113.7\n"), true,
                 RouteState{L"192.168.1.1", 1, L"203.0.113.7"}},
        ReadCase{"index 0 is no interface", Utf16Le(L"192.168.1.1\n0\n203.0.113.7\n"), false, {}},
        ReadCase{"negative index", Utf16Le(L"192.168.1.1\n-7\n203.0.113.7\n"), false, {}},
        ReadCase{
            "most negative index", Utf16Le(L"192.168.1.1\n-2147483648\n203.0.113.7\n"), false, {}},
        ReadCase{"two lines only", Utf16Le(L"192.168.1.1\n12\n"), false, {}},
        ReadCase{"empty file", std::string(), false, {}},
        // 255 units fill the first buffer; the rest of that line is line 2.
        ReadCase{"first line longer than 255 units",
                 Utf16Le(std::wstring(248, L' ') + L"1.2.3.4" + L"42\n10.0.0.1\n"), true,
                 RouteState{L"1.2.3.4", 42, L"10.0.0.1"}},
        // 63 units fill the second buffer; the rest of that line is line 3.
        ReadCase{"index line longer than 63 units",
                 Utf16Le(L"1.2.3.4\n" + std::wstring(61, L' ') + L"12" + L"10.0.0.1\n"), true,
                 RouteState{L"1.2.3.4", 12, L"10.0.0.1"}},
        ReadCase{"8-bit file has no LF unit", "192.168.1.1\n12\n203.0.113.7\n", false, {}},
        ReadCase{
            "a NUL unit ends the line's text",
            Utf16Le(L"192.168.1.1") + std::string(2, '\0') + Utf16Le(L"junk\n12\n203.0.113.7\n"),
            true, kExample},
        ReadCase{"a lone trailing byte is no unit", Utf16Le(L"192.168.1.1\n12\n203.0.113.7") + "x",
                 true, kExample},
        ReadCase{"byte order mark makes the gateway no address",
                 std::string("\xFF\xFE") + Utf16Le(L"192.168.1.1\n12\n203.0.113.7\n"),
                 false,
                 {}}));

TEST(RouteStateFile, MissingFileIsRejected) {
    TempStateFile file;
    RouteState loaded;
    EXPECT_FALSE(LoadState(file.Path(), loaded));
}

// Any text from the file ends up in a command line that cmd.exe runs with the
// service's rights, so only plain dotted IPv4 passes.
class AddressCheck : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(AddressCheck, GatewayAndServerMustBePlainDottedIPv4) {
    const std::wstring text = GetParam();
    TempStateFile file;
    RouteState loaded;
    WriteAll(file.Path(), Utf16Le(text + L"\n12\n203.0.113.7\n"));
    EXPECT_FALSE(LoadState(file.Path(), loaded)) << "gateway " << text.size();
    WriteAll(file.Path(), Utf16Le(L"192.168.1.1\n12\n" + text + L"\n"));
    EXPECT_FALSE(LoadState(file.Path(), loaded)) << "server " << text.size();
    EXPECT_FALSE(IsPlainDottedIPv4(text));
}

INSTANTIATE_TEST_SUITE_P(Rejected, AddressCheck,
                         ::testing::Values(L"1.2.3.4 & calc", L"1.2.3.4&calc", L"1.2.3",
                                           L"256.1.1.1", L"1.2.3.256", L"", L"::1", L"1.2.3.4.5",
                                           L"1..2.3", L".1.2.3", L"1.2.3.", L"010.0.0.1",
                                           L"1.2.3.04", L"0x7f.0.0.1", L"+1.2.3.4", L"1.2.3.-4",
                                           L"1.2.3.4|x", L"1.2.3.4\"x", L"1 .2.3.4", L"1000.1.1.1",
                                           L"\x0661.2.3.4", L"localhost", L"%TEMP%"));

TEST(RouteStateFile, SaveReplacesTheOldContentAndLeavesNoTemporaryFile) {
    TempStateFile file;
    WriteAll(file.Path(), std::string(5000, 'x'));

    ASSERT_TRUE(SaveState(file.Path(), kExample));

    EXPECT_EQ(ReadAll(file.Path()), Utf16Le(L"192.168.1.1\n12\n203.0.113.7\n"));
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(file.Directory())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

TEST(RouteStateFile, AFolderInTheFilesPlaceIsMovedAsideWhole) {
    TempStateFile file;
    // A folder someone made at the path, to keep every state out.
    std::filesystem::create_directory(file.Path());
    WriteAll(std::filesystem::path(file.Path()) / "inside", "keep");

    EXPECT_TRUE(SaveState(file.Path(), kExample));

    EXPECT_EQ(ReadAll(file.Path()), Utf16Le(L"192.168.1.1\n12\n203.0.113.7\n"));
    std::size_t folders = 0;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(file.Directory())) {
        if (entry.is_directory()) {
            ++folders;
            EXPECT_EQ(ReadAll(entry.path() / "inside"), "keep");
        } else {
            ++files;
        }
    }
    EXPECT_EQ(folders, 1u) << "the folder, moved aside";
    EXPECT_EQ(files, 1u) << "the state file, no temporary file";
}

#ifndef _WIN32
// Replaced, not rewritten: a reader that opened the old file keeps seeing the
// old content whole, as a crash in mid-write would leave it. (Windows refuses
// to replace a file that a reader holds open without delete sharing.)
TEST(RouteStateFile, SaveReplacesTheFileInsteadOfRewritingIt) {
    TempStateFile file;
    ASSERT_TRUE(SaveState(file.Path(), {L"10.0.0.1", 7, L"10.0.0.2"}));
    std::ifstream oldReader(std::filesystem::path(file.Path()), std::ios::binary);

    ASSERT_TRUE(SaveState(file.Path(), kExample));

    const std::string seenByOldReader((std::istreambuf_iterator<char>(oldReader)),
                                      std::istreambuf_iterator<char>());
    EXPECT_EQ(seenByOldReader, Utf16Le(L"10.0.0.1\n7\n10.0.0.2\n"));
    EXPECT_EQ(ReadAll(file.Path()), Utf16Le(L"192.168.1.1\n12\n203.0.113.7\n"));
}
#endif

// A temporary name that someone else created first (in a directory that any
// user may write to) is never written through.
TEST(RouteStateFile, SaveLeavesAForeignTemporaryFileAlone) {
    TempStateFile file;
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const unsigned long pid = static_cast<unsigned long>(::getpid());
#endif
    const std::filesystem::path planted =
        std::filesystem::path(file.Path()).string() + "." + std::to_string(pid) + ".0.tmp";
    WriteAll(planted, "planted");

    ASSERT_TRUE(SaveState(file.Path(), kExample));

    EXPECT_EQ(ReadAll(planted), "planted");
    EXPECT_EQ(ReadAll(file.Path()), Utf16Le(L"192.168.1.1\n12\n203.0.113.7\n"));
}

TEST(RouteStateFile, SaveIntoAMissingDirectoryCreatesNothing) {
    TempStateFile file;
    const std::filesystem::path missing = file.Directory() / "missing" / "state.txt";
    EXPECT_FALSE(SaveState(missing.wstring(), kExample));
    EXPECT_FALSE(std::filesystem::exists(file.Directory() / "missing"));
}

TEST(RouteStateFile, DeleteRemovesTheFileAndToleratesItsAbsence) {
    TempStateFile file;
    ASSERT_TRUE(SaveState(file.Path(), kExample));
    DeleteState(file.Path());
    EXPECT_FALSE(std::filesystem::exists(file.Path()));
    DeleteState(file.Path());
    RouteState loaded;
    EXPECT_FALSE(LoadState(file.Path(), loaded));
}

TEST(RouteStateFile, HugeFileIsReadOnlyAsFarAsTheLinesReach) {
    TempStateFile file;
    WriteAll(file.Path(),
             Utf16Le(L"192.168.1.1\n12\n203.0.113.7\n") + std::string(8 * 1024 * 1024, '\x41'));
    RouteState loaded;
    ASSERT_TRUE(LoadState(file.Path(), loaded));
    EXPECT_EQ(loaded.serverIp, L"203.0.113.7");
}

// The directory lets any local user create files, so only a plain file with
// one name that this account (or the system) wrote is read.
const RouteState kTrustedState{L"192.168.1.1", 12, L"203.0.113.7"};

TEST(StateFileTrust, FileOfAnotherAccountIsRejectedUntilReplaced) {
    TempStateFile file;
    ASSERT_TRUE(SaveState(file.Path(), kTrustedState));
    if (!GiveToAnotherAccount(file.Path())) {
        GTEST_SKIP() << "no other account can own a file here";
    }
    RouteState loaded;
    EXPECT_FALSE(LoadState(file.Path(), loaded));
    EXPECT_TRUE(loaded.gateway.empty());

    ASSERT_TRUE(SaveState(file.Path(), kTrustedState));
    EXPECT_TRUE(LoadState(file.Path(), loaded));
    EXPECT_EQ(loaded.gateway, kTrustedState.gateway);
}

TEST(StateFileTrust, FileWithASecondNameIsRejected) {
    TempStateFile file;
    ASSERT_TRUE(SaveState(file.Path(), kTrustedState));
    const std::filesystem::path second = file.Directory() / "second_name.txt";
    std::error_code error;
    std::filesystem::create_hard_link(file.Path(), second, error);
    ASSERT_FALSE(error) << error.message();
    RouteState loaded;
    EXPECT_FALSE(LoadState(file.Path(), loaded));

    std::filesystem::remove(second);
    EXPECT_TRUE(LoadState(file.Path(), loaded));
}

TEST(StateFileTrust, LinkAtThePathIsNotFollowed) {
    TempStateFile file;
    const std::filesystem::path target = file.Directory() / "elsewhere.txt";
    ASSERT_TRUE(SaveState(target.wstring(), kTrustedState));
    std::error_code error;
    std::filesystem::create_symlink(target, file.Path(), error);
    if (error) {
        GTEST_SKIP() << "no symbolic links here: " << error.message();
    }
    RouteState loaded;
    EXPECT_FALSE(LoadState(file.Path(), loaded));
    EXPECT_TRUE(LoadState(target.wstring(), loaded));
}

// The IPv6 and DNS part after the three lines: what is recorded is read
// back, a file of the older format records none of it, and a line that is
// not of that part takes nothing away from the IPv4 part.
TEST(RouteStateFile, Ipv6AndDnsPartReadsBackAndIsOptional) {
    const struct {
        const char* name;
        std::wstring text;
        std::int32_t ipv6Index;
        bool nrpt;
    } cases[] = {
        {"older format", L"192.168.1.1\n12\n203.0.113.7\n", 0, false},
        {"routes and rule", L"192.168.1.1\n12\n203.0.113.7\nipv6 45\nnrpt\n", 45, true},
        {"rule only", L"192.168.1.1\n12\n203.0.113.7\nnrpt\n", 0, true},
        {"CR LF, blanks", L"192.168.1.1\r\n12\r\n203.0.113.7\r\n ipv6 45 \r\nnrpt\r\n", 45, true},
        {"index 0 is no interface", L"192.168.1.1\n12\n203.0.113.7\nipv6 0\n", 0, false},
        {"negative index", L"192.168.1.1\n12\n203.0.113.7\nipv6 -3\n", 0, false},
        {"unknown line passed over", L"192.168.1.1\n12\n203.0.113.7\nxyz\nnrpt\n", 0, true},
        {"a third extra line is not read", L"192.168.1.1\n12\n203.0.113.7\na\nb\nnrpt\n", 0, false},
        {"NRPT in other case is no record", L"192.168.1.1\n12\n203.0.113.7\nNRPT\n", 0, false},
    };
    for (const auto& c : cases) {
        RouteState state;
        ASSERT_TRUE(DecodeRouteState(Utf16Le(c.text), state)) << c.name;
        EXPECT_EQ(state.gateway, L"192.168.1.1") << c.name;
        EXPECT_EQ(state.serverIp, L"203.0.113.7") << c.name;
        EXPECT_EQ(state.ipv6TunnelIndex, c.ipv6Index) << c.name;
        EXPECT_EQ(state.nrptRule, c.nrpt) << c.name;
    }
    EXPECT_EQ(EncodeRouteState({L"192.168.1.1", 12, L"203.0.113.7", 45, true}),
              Utf16Le(L"192.168.1.1\n12\n203.0.113.7\nipv6 45\nnrpt\n"));
    TempStateFile file;
    EXPECT_FALSE(SaveState(file.Path(), {L"192.168.1.1", 12, L"203.0.113.7", -1, false}));
}

#ifndef _WIN32
TEST(StateFileTrust, PipeAtThePathIsNeitherWaitedForNorRead) {
    TempStateFile file;
    const std::string path = std::filesystem::path(file.Path()).string();
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    RouteState loaded;
    EXPECT_FALSE(LoadState(file.Path(), loaded));
}
#endif

}  // namespace
}  // namespace netsteer::testing
