#include "service/supervision/helper_runner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "supervision_test_support.h"

namespace velk {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using velk::test_support::ReadFileBytes;
using velk::test_support::WriteFileBytes;
using velk::testing::ExpectServiceChildEnvironment;
using velk::testing::FakecorePath;
using velk::testing::FileExists;
using velk::testing::LogRecorder;
using velk::testing::ProcessGone;
using velk::testing::ReadPidFile;
using velk::testing::ScopedVariable;
using velk::testing::TempDirectory;
using velk::testing::WaitUntil;

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

class HelperRunnerTest : public ::testing::Test {
  protected:
    HelperRunSettings Settings() {
        HelperRunSettings settings;
        settings.log = log_.Sink();
        return settings;
    }

    // Writes a fake core config and returns the helper arguments that use it.
    std::wstring Arguments(const std::wstring& name, const std::string& config) {
        const std::wstring path = temp_.Path() + name;
        EXPECT_TRUE(WriteFileBytes(path, config));
        return L"run -config \"" + path + L"\"";
    }

    // A config line that starts a child fake core with its own config.
    std::string SpawnLine(const std::wstring& childConfigName, const std::string& childConfig) {
        return "spawn=\"" + Narrow(FakecorePath()) + "\" " +
               Narrow(Arguments(childConfigName, childConfig)) + "\n";
    }

    TempDirectory temp_;
    LogRecorder log_;
};

TEST_F(HelperRunnerTest, ExitCodeComesBackUnchanged) {
    struct Case {
        std::uint32_t exitCode;
        bool ok;
    };
    const Case cases[] = {{0, true}, {4, false}, {10, false}, {3221225477u, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exitCode);
        const OpResult result = RunHelperProcess(
            Settings(), FakecorePath(),
            Arguments(L"exit.cfg", "exit_after_ms=0\nexit_code=" + std::to_string(c.exitCode)),
            10000);
        EXPECT_EQ(result.ok, c.ok);
        EXPECT_EQ(result.code, c.exitCode);
    }
    EXPECT_THAT(log_.messages, IsEmpty());
}

// A run while the service starts or stops has no stop event to wait for: the
// control manager hears of progress from the start, with what may remain.
TEST_F(HelperRunnerTest, WithoutAStopEventProgressIsReportedFromTheStart) {
    std::vector<std::uint32_t> reports;
    HelperRunSettings settings = Settings();
    settings.progress = [&reports](std::uint32_t remainingMs) { reports.push_back(remainingMs); };
    const OpResult result =
        RunHelperProcess(settings, FakecorePath(),
                         Arguments(L"slow.cfg", "exit_after_ms=2500\nexit_code=0\n"), 10000);
    EXPECT_TRUE(result.ok);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_LE(reports.front(), 10000u);
    EXPECT_GE(reports.front(), 9000u);
    EXPECT_TRUE(std::is_sorted(reports.rbegin(), reports.rend())) << "remaining time only shrinks";
}

TEST_F(HelperRunnerTest, HelperSeesOnlyTheServicesChildEnvironment) {
    const ScopedVariable inherited(L"VELK_INHERITED_PROBE", L"from the service");
    const ScopedVariable asset(L"XRAY_LOCATION_ASSET", L"C:\\velk assets");
    const std::wstring marker = temp_.Path() + L"env.txt";
    const OpResult result = RunHelperProcess(
        Settings(), FakecorePath(),
        Arguments(L"env.cfg", "marker_file=" + Narrow(marker) + "\nexit_after_ms=0\n"), 10000);
    ASSERT_TRUE(result.ok);
    ExpectServiceChildEnvironment(ReadFileBytes(marker), "C:\\velk assets");
}

TEST_F(HelperRunnerTest, TimeOutEndsTheHelperAndEverythingItStarted) {
    const std::wstring helperPid = temp_.Path() + L"helper.pid";
    const std::wstring childPid = temp_.Path() + L"child.pid";
    const std::wstring lateFile = temp_.Path() + L"late.txt";
    const std::wstring arguments = Arguments(
        L"helper.cfg", "pid_file=" + Narrow(helperPid) + "\n" +
                           SpawnLine(L"child.cfg", "pid_file=" + Narrow(childPid) +
                                                       "\nmarker_file=" + Narrow(lateFile) +
                                                       "\nmarker_after_ms=3000\n"));

    const OpResult result = RunHelperProcess(Settings(), FakecorePath(), arguments, 1500);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.code, 1460u);
    EXPECT_THAT(log_.messages, ElementsAre(L"Process timeout."));

    const DWORD helper = ReadPidFile(helperPid);
    const DWORD child = ReadPidFile(childPid);
    ASSERT_NE(helper, 0u);
    ASSERT_NE(child, 0u);
    EXPECT_TRUE(ProcessGone(helper));
    EXPECT_TRUE(ProcessGone(child));
    // Had the child survived, it would have written this by now.
    Sleep(3000);
    EXPECT_FALSE(FileExists(lateFile));
}

TEST_F(HelperRunnerTest, ProcessesLeftBehindByAHelperThatEndedAreEnded) {
    const std::wstring childPid = temp_.Path() + L"child.pid";
    const std::wstring lateFile = temp_.Path() + L"late.txt";
    // The helper exits normally once its child has had time to start.
    const std::wstring arguments = Arguments(
        L"helper.cfg", SpawnLine(L"child.cfg", "pid_file=" + Narrow(childPid) + "\nmarker_file=" +
                                                   Narrow(lateFile) + "\nmarker_after_ms=2500\n") +
                           "exit_after_ms=1000\nexit_code=0\n");

    const OpResult result = RunHelperProcess(Settings(), FakecorePath(), arguments, 10000);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.code, 0u);
    EXPECT_THAT(log_.messages, IsEmpty());

    const DWORD child = ReadPidFile(childPid);
    ASSERT_NE(child, 0u);
    EXPECT_TRUE(ProcessGone(child));
    Sleep(2500);
    EXPECT_FALSE(FileExists(lateFile));
}

TEST_F(HelperRunnerTest, MissingProgramReportsTheSystemCode) {
    const OpResult result =
        RunHelperProcess(Settings(), temp_.Path() + L"netsteer.exe", L"start \"10.0.0.1\"", 10000);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.code, 2u);
    EXPECT_THAT(log_.messages, ElementsAre(L"CreateProcessW failed. Error=2"));
}

TEST_F(HelperRunnerTest, ProgramPathWithBlanksAndItsWorkingDirectory) {
    const std::wstring directory = temp_.Path() + L"service dir\\";
    ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
    const std::wstring program = directory + L"netsteer.exe";
    ASSERT_TRUE(CopyFileW(FakecorePath().c_str(), program.c_str(), FALSE));

    HelperRunSettings settings = Settings();
    settings.workingDirectory = directory;
    // A relative marker path lands in the working directory.
    const OpResult result = RunHelperProcess(
        settings, program, Arguments(L"cwd.cfg", "marker_file=here.txt\nexit_after_ms=0\n"), 10000);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.code, 0u);
    EXPECT_TRUE(FileExists(directory + L"here.txt"));
}

}  // namespace
}  // namespace velk
