// The built netsteer.exe, run for real under the Windows API: its exit codes
// and log lines for the cases that change no route, its PE subsystem and its
// embedded manifest.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "common/local_memory.h"
#include "common/unique_handle.h"
#include "netsteer/control/route_state.h"
#include "netsteer/netsteer_constants.h"
#include "tests/support/win_files.h"
#include "tests/windows/control/netsteer_run.h"

namespace netsteer {
namespace {

using netsteer::testing::NetsteerPath;
using netsteer::testing::RunNetsteer;

using velk::test_support::ReadFileBytes;

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    velk::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.Valid());
    DWORD written = 0;
    ASSERT_TRUE(
        WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

// The messages of the entries that the helper log gained since `before`
// bytes: each line is "[YYYY-MM-DD hh:mm:ss] message" with CR LF.
std::vector<std::string> LogMessagesSince(std::size_t before) {
    const std::string all = ReadFileBytes(kHelperLogPath);
    std::vector<std::string> messages;
    if (all.size() <= before) {
        return messages;
    }
    const std::string added = all.substr(before);
    std::size_t start = 0;
    while (start < added.size()) {
        std::size_t end = added.find("\r\n", start);
        if (end == std::string::npos) {
            end = added.size();
        }
        const std::string line = added.substr(start, end - start);
        const std::size_t close = line.find("] ");
        messages.push_back(line.size() > 0 && line[0] == '[' && close != std::string::npos
                               ? line.substr(close + 2)
                               : "unstamped: " + line);
        start = end + 2;
    }
    return messages;
}

std::size_t LogSize() {
    return ReadFileBytes(kHelperLogPath).size();
}

TEST(NetsteerProgram, MissingArgumentsGiveCode1AndNoLogLine) {
    for (const wchar_t* arguments : {L"", L"start", L"stop"}) {
        const std::size_t before = LogSize();
        EXPECT_EQ(RunNetsteer(arguments), 1) << arguments;
        EXPECT_EQ(LogSize(), before) << arguments;
    }
}

TEST(NetsteerProgram, UnknownActionWithNumericHostGivesCode6) {
    const std::size_t before = LogSize();
    EXPECT_EQ(RunNetsteer(L"START \"10.0.0.1\" ignored"), 6);
    EXPECT_EQ(LogMessagesSince(before), (std::vector<std::string>{"Resolved server IP: 10.0.0.1",
                                                                  "Resolved server Host: 10.0.0.1",
                                                                  "RETURN 6: unknown action"}));
}

TEST(NetsteerProgram, NumericHostIsLoggedInItsCanonicalForm) {
    const std::size_t before = LogSize();
    EXPECT_EQ(RunNetsteer(L"status 10.1"), 6);
    EXPECT_EQ(LogMessagesSince(before),
              (std::vector<std::string>{"Resolved server IP: 10.0.0.1",
                                        "Resolved server Host: 10.1", "RETURN 6: unknown action"}));
}

TEST(NetsteerProgram, UnresolvableHostGivesCode2ForEveryAction) {
    for (const wchar_t* arguments : {L"start no-such-host.invalid", L"stop no-such-host.invalid",
                                     L"bogus no-such-host.invalid"}) {
        const std::size_t before = LogSize();
        EXPECT_EQ(RunNetsteer(arguments), 2) << arguments;
        EXPECT_EQ(LogMessagesSince(before),
                  std::vector<std::string>{"RETURN 2: GetVpnServerIp not found"})
            << arguments;
    }
}

TEST(NetsteerProgram, StopWithoutAUsableStateFileGivesCode7) {
    // The real state file of this prefix: absent, then planted with a gateway
    // that would smuggle a second command into cmd.exe.
    DeleteFileW(kStateFilePath);
    const std::string planted = EncodeRouteState({L"1.2.3.4 & calc", 12, L"203.0.113.7"});
    for (const bool plant : {false, true}) {
        if (plant) {
            WriteFileBytes(kStateFilePath, planted);
        }
        const std::size_t before = LogSize();
        EXPECT_EQ(RunNetsteer(L"stop 203.0.113.7"), 7) << plant;
        EXPECT_EQ(LogMessagesSince(before),
                  (std::vector<std::string>{
                      "Resolved server IP: 203.0.113.7", "Resolved server Host: 203.0.113.7",
                      "[HELPER] STOP CALLED", "RETURN 7: state file missing on stop"}))
            << plant;
    }
    // Left untouched on code 7.
    EXPECT_EQ(ReadFileBytes(kStateFilePath), planted);
    DeleteFileW(kStateFilePath);
}

TEST(NetsteerProgram, StopRefusesAWellFormedStateFileWithASecondName) {
    // A second name could make a file of someone else's choosing read as the
    // state file; Wine, which reports every file as its user's own, shows the
    // name count for real.
    const std::wstring secondName = L"C:\\ProgramData\\netsteer_test_second_name.txt";
    DeleteFileW(secondName.c_str());
    const std::string planted = EncodeRouteState({L"192.168.1.66", 12, L"203.0.113.7"});
    WriteFileBytes(kStateFilePath, planted);
    ASSERT_TRUE(CreateHardLinkW(secondName.c_str(), kStateFilePath, nullptr)) << GetLastError();

    const std::size_t before = LogSize();
    EXPECT_EQ(RunNetsteer(L"stop 203.0.113.7"), 7);
    EXPECT_EQ(LogMessagesSince(before),
              (std::vector<std::string>{"Resolved server IP: 203.0.113.7",
                                        "Resolved server Host: 203.0.113.7", "[HELPER] STOP CALLED",
                                        "RETURN 7: state file missing on stop"}));
    EXPECT_EQ(ReadFileBytes(kStateFilePath), planted);
    DeleteFileW(secondName.c_str());
    DeleteFileW(kStateFilePath);
}

// The words that netsteer.exe would see for `arguments`, split by the same
// rules it uses.
std::vector<std::wstring> SplitAsNetsteer(const std::wstring& arguments) {
    const std::wstring commandLine = L"netsteer.exe " + arguments;
    int argc = 0;
    const velk::UniqueLocal<LPWSTR> argv(CommandLineToArgvW(commandLine.c_str(), &argc));
    return std::vector<std::wstring>(argv.Get(), argv.Get() + (argv ? argc : 0));
}

TEST(NetsteerProgram, RandomCommandLinesEndWithACodeOfTheTable) {
    // Seeded and bounded; a line whose action is a real one is skipped, since
    // that would change routes.
    std::mt19937 rng(7031);
    const std::wstring alphabet =
        L"abcSTARTstop0123456789.. \"\"\\\\\t&|%^<>-/:"
        L"\x00e9\x0416\x4e2d";
    std::uniform_int_distribution<std::size_t> length(0, 40);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    int runs = 0;
    for (int round = 0; round < 40 && runs < 12; ++round) {
        std::wstring arguments;
        const std::size_t n = length(rng);
        for (std::size_t i = 0; i < n; ++i) {
            arguments += alphabet[pick(rng)];
        }
        const std::vector<std::wstring> words = SplitAsNetsteer(arguments);
        if (words.size() > 1 && (words[1] == L"start" || words[1] == L"stop")) {
            continue;
        }
        ++runs;
        const long code = RunNetsteer(arguments);
        EXPECT_TRUE(code == 1 || code == 2 || code == 6) << arguments << " gave " << code;
        EXPECT_EQ(code == 1, words.size() < 3) << arguments;
    }
    EXPECT_EQ(runs, 12);
}

TEST(NetsteerProgram, IsAGuiSubsystemProgram) {
    const std::string image = ReadFileBytes(NetsteerPath());
    ASSERT_GT(image.size(), 0x40u);
    ASSERT_EQ(image.substr(0, 2), "MZ");
    std::uint32_t peOffset = 0;
    for (int i = 3; i >= 0; --i) {
        peOffset = (peOffset << 8) | static_cast<unsigned char>(image[0x3C + i]);
    }
    // Signature (4) and file header (20), then the optional header, whose
    // Subsystem field lies at offset 68 in both PE32 and PE32+.
    const std::size_t subsystemAt = peOffset + 4 + 20 + 68;
    ASSERT_GT(image.size(), subsystemAt + 1);
    ASSERT_EQ(image.substr(peOffset, 4), std::string("PE\0\0", 4));
    const unsigned subsystem = static_cast<unsigned char>(image[subsystemAt]) |
                               (static_cast<unsigned char>(image[subsystemAt + 1]) << 8);
    EXPECT_EQ(subsystem, static_cast<unsigned>(IMAGE_SUBSYSTEM_WINDOWS_GUI));
}

TEST(NetsteerProgram, EmbeddedManifestAsksForAsInvoker) {
    const velk::UniqueModule module(
        LoadLibraryExW(NetsteerPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module);
    HRSRC resource = FindResourceW(module.Get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(resource, nullptr);
    const DWORD size = SizeofResource(module.Get(), resource);
    HGLOBAL loaded = LoadResource(module.Get(), resource);
    ASSERT_NE(loaded, nullptr);
    const char* data = static_cast<const char*>(LockResource(loaded));
    ASSERT_NE(data, nullptr);
    const std::string manifest(data, size);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos)
        << manifest;
    EXPECT_EQ(manifest.find("requireAdministrator"), std::string::npos);
}

}  // namespace
}  // namespace netsteer
