#include "service/supervision/core_process_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "supervision_test_support.h"

namespace velk {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using velk::test_support::ReadFileBytes;
using velk::test_support::WriteFileBytes;
using velk::testing::FakecoreDirectory;
using velk::testing::FakecorePath;
using velk::testing::FileExists;
using velk::testing::LinkFixture;
using velk::testing::LogRecorder;
using velk::testing::ProcessGone;
using velk::testing::TempDirectory;
using velk::testing::WaitUntil;

// Long enough for the fake core to start under Wine and, when told to exit at
// once, to have ended before the manager looks.
constexpr std::uint32_t kTestSettleMs = 400;

class CoreProcessManagerTest : public ::testing::Test {
  protected:
    CoreProcessManagerTest() : manager_(Settings(FakecoreDirectory())) {}

    ~CoreProcessManagerTest() override { manager_.StopXray(); }

    CoreProcessSettings Settings(const std::wstring& programDirectory) {
        CoreProcessSettings settings;
        settings.programDirectory = [programDirectory] { return programDirectory; };
        settings.dataDirectory = DataDirectory();
        settings.runtimeLogPath = RuntimeLog();
        settings.settleMs = kTestSettleMs;
        settings.terminateWaitMs = 5000;
        settings.log = log_.Sink();
        return settings;
    }

    std::wstring DataDirectory() const { return temp_.Path() + L"VELK-VPN"; }
    std::wstring RuntimeLog() const { return DataDirectory() + L"\\xray_runtime_error.log"; }

    std::wstring Config(const std::wstring& name, const std::string& text) {
        const std::wstring path = temp_.Path() + name;
        EXPECT_TRUE(WriteFileBytes(path, text));
        return path;
    }

    TempDirectory temp_;
    LogRecorder log_;
    CoreProcessManager manager_;
};

TEST_F(CoreProcessManagerTest, SecondStartKeepsTheRunningCoreAndItsConfig) {
    const std::wstring first = Config(L"first.cfg", "stdout=core with first config\n");
    const std::wstring second = Config(L"second.cfg", "stdout=core with second config\n");

    const OpResult started = manager_.StartXray(first);
    EXPECT_TRUE(started.ok);
    EXPECT_EQ(started.code, 0u);
    const DWORD processId = manager_.RecordedProcessId();
    ASSERT_NE(processId, 0u);

    const OpResult again = manager_.StartXray(second);
    EXPECT_TRUE(again.ok);
    EXPECT_EQ(again.code, 0u);
    EXPECT_EQ(manager_.RecordedProcessId(), processId);
    EXPECT_THAT(log_.messages, ElementsAre(L"[XRAY] started successfully with config: " + first,
                                           L"[XRAY] xray.exe already running."));

    const XrayStatus status = manager_.QueryXrayStatus();
    EXPECT_TRUE(status.running);
    EXPECT_EQ(status.code, 259u);

    manager_.StopXray();
    const std::string output = ReadFileBytes(RuntimeLog());
    EXPECT_THAT(output, HasSubstr("core with first config"));
    EXPECT_THAT(output, Not(HasSubstr("core with second config")));
}

TEST_F(CoreProcessManagerTest, CoreThatEndedByItselfIsReportedThenReplacedSilently) {
    // 259 is also the code Windows reports for a process still running: a
    // core that ends with it has ended all the same.
    for (const std::uint32_t code : {7u, 259u}) {
        SCOPED_TRACE("exit code " + std::to_string(code));
        const std::wstring ending =
            Config(L"ending.cfg", "exit_after_ms=" + std::to_string(kTestSettleMs + 500) +
                                      "\nexit_code=" + std::to_string(code) + "\n");
        const std::wstring running = Config(L"running.cfg", "stdout=second core\n");

        ASSERT_TRUE(manager_.StartXray(ending).ok);
        const DWORD firstId = manager_.RecordedProcessId();
        ASSERT_TRUE(WaitUntil([&] { return ProcessGone(firstId); }));

        // Nothing watches the core: it stays recorded and reports its exit code.
        for (int i = 0; i < 3; ++i) {
            const XrayStatus status = manager_.QueryXrayStatus();
            EXPECT_FALSE(status.running) << "query " << i;
            EXPECT_EQ(status.code, code) << "query " << i;
        }
        EXPECT_EQ(manager_.RecordedProcessId(), firstId);

        log_.messages.clear();
        const OpResult restarted = manager_.StartXray(running);
        EXPECT_TRUE(restarted.ok);
        EXPECT_EQ(restarted.code, 0u);
        EXPECT_NE(manager_.RecordedProcessId(), firstId);
        EXPECT_THAT(log_.messages,
                    ElementsAre(L"[XRAY] started successfully with config: " + running));
        const XrayStatus status = manager_.QueryXrayStatus();
        EXPECT_TRUE(status.running);
        EXPECT_EQ(status.code, 259u);
        manager_.StopXray();
    }
}

TEST_F(CoreProcessManagerTest, StopAfterTheCoreEndedByItselfTerminatesNothing) {
    const std::wstring ending = Config(
        L"ending.cfg", "exit_after_ms=" + std::to_string(kTestSettleMs + 300) + "\nexit_code=0\n");
    ASSERT_TRUE(manager_.StartXray(ending).ok);
    const DWORD processId = manager_.RecordedProcessId();
    ASSERT_TRUE(WaitUntil([&] { return ProcessGone(processId); }));

    log_.messages.clear();
    const OpResult stopped = manager_.StopXray();
    EXPECT_TRUE(stopped.ok);
    EXPECT_EQ(stopped.code, 0u);
    EXPECT_THAT(log_.messages, ElementsAre(L"[XRAY] stopped."));
    EXPECT_EQ(manager_.RecordedProcessId(), 0u);
    const XrayStatus status = manager_.QueryXrayStatus();
    EXPECT_FALSE(status.running);
    EXPECT_EQ(status.code, 0u);
}

TEST_F(CoreProcessManagerTest, CoreEndingWithinTheSettleTimeIsAFailedStart) {
    struct Case {
        const char* name;
        std::string config;  // empty: no config file at all
        std::uint32_t code;
    };
    const Case cases[] = {
        {"missing config file (the core's own error code)", "", 23},
        {"exit code 23", "exit_after_ms=0\nexit_code=23\n", 23},
        {"exit code 0", "exit_after_ms=0\nexit_code=0\n", 0},
        {"exit code above 2^31", "exit_after_ms=0\nexit_code=3221225477\n", 3221225477u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log_.messages.clear();
        const std::wstring path =
            c.config.empty() ? temp_.Path() + L"absent.cfg" : Config(L"immediate.cfg", c.config);

        const OpResult result = manager_.StartXray(path);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.code, c.code);
        EXPECT_THAT(log_.messages,
                    ElementsAre(L"[XRAY] exited immediately. Code=" + std::to_wstring(c.code)));

        const XrayStatus status = manager_.QueryXrayStatus();
        EXPECT_FALSE(status.running);
        EXPECT_EQ(status.code, 0u);
        EXPECT_EQ(manager_.RecordedProcessId(), 0u);
    }
}

TEST_F(CoreProcessManagerTest, RuntimeLogIsCreatedWithItsDirectoryAndAppendedTo) {
    ASSERT_FALSE(FileExists(DataDirectory()));
    const std::wstring first =
        Config(L"first.cfg", "stdout=first out\nstderr=first err\nexit_after_ms=0\nexit_code=1\n");
    const std::wstring second = Config(L"second.cfg", "stdout=second out\n");

    EXPECT_FALSE(manager_.StartXray(first).ok);
    EXPECT_TRUE(FileExists(RuntimeLog()));
    EXPECT_TRUE(manager_.StartXray(second).ok);
    manager_.StopXray();

    EXPECT_EQ(ReadFileBytes(RuntimeLog()), "first out\nfirst err\nsecond out\n");
}

TEST_F(CoreProcessManagerTest, StopTerminatesARunningCore) {
    const std::wstring path = Config(L"run.cfg", "stdout=serving\n");
    ASSERT_TRUE(manager_.StartXray(path).ok);
    UniqueHandle core(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, manager_.RecordedProcessId()));
    ASSERT_TRUE(core);

    log_.messages.clear();
    const OpResult stopped = manager_.StopXray();
    EXPECT_TRUE(stopped.ok);
    EXPECT_EQ(stopped.code, 0u);
    EXPECT_THAT(log_.messages, ElementsAre(L"[XRAY] terminating xray.exe", L"[XRAY] stopped."));
    EXPECT_EQ(WaitForSingleObject(core.Get(), 0), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    EXPECT_TRUE(GetExitCodeProcess(core.Get(), &exitCode));
    EXPECT_EQ(exitCode, 0u);

    const XrayStatus status = manager_.QueryXrayStatus();
    EXPECT_FALSE(status.running);
    EXPECT_EQ(status.code, 0u);
}

TEST_F(CoreProcessManagerTest, StopWithEmptySlot) {
    const OpResult stopped = manager_.StopXray();
    EXPECT_TRUE(stopped.ok);
    EXPECT_EQ(stopped.code, 0u);
    EXPECT_THAT(log_.messages, ElementsAre(L"[XRAY] stop requested, but no xray process exists."));
}

TEST_F(CoreProcessManagerTest, MissingCoreProgramFailsWithTheSystemCodeAndReleasesTheLog) {
    CoreProcessManager manager(Settings(temp_.Path()));
    const OpResult result = manager.StartXray(Config(L"run.cfg", "stdout=never\n"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.code, 2u);
    EXPECT_THAT(log_.messages, ElementsAre(L"[XRAY] CreateProcessW failed. Error=2"));
    EXPECT_EQ(manager.RecordedProcessId(), 0u);

    // No handle to the runtime log is left open: it can be opened exclusively.
    UniqueHandle exclusive(CreateFileW(RuntimeLog().c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(exclusive);
}

TEST_F(CoreProcessManagerTest, UnopenableRuntimeLogFailsBeforeAnythingStarts) {
    // A directory in place of the log file.
    ASSERT_TRUE(CreateDirectoryW(DataDirectory().c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(RuntimeLog().c_str(), nullptr));
    const std::wstring marker = temp_.Path() + L"started.txt";
    const std::wstring path =
        Config(L"run.cfg", "marker_file=" + std::string(marker.begin(), marker.end()) + "\n");

    const OpResult result = manager_.StartXray(path);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.code, 0u);
    EXPECT_THAT(log_.messages, IsEmpty());
    EXPECT_EQ(manager_.RecordedProcessId(), 0u);
    Sleep(kTestSettleMs);
    EXPECT_FALSE(FileExists(marker));
}

// SYSTEM must not write the core's output wherever a user's link points.
TEST_F(CoreProcessManagerTest, RuntimeLogOrDataDirectoryLeadingElsewhereFailsTheStart) {
    const std::wstring secret = temp_.Path() + L"secret.txt";
    const std::wstring fixtureTarget = LinkFixture(L"log-target.log");
    ASSERT_TRUE(CreateDirectoryW(DataDirectory().c_str(), nullptr));

    struct Case {
        const wchar_t* what;
        std::wstring dataDirectory;
        std::wstring runtimeLog;
        std::wstring target;  // where the link leads; must stay as it is
        bool targetExists;    // false: it must not be created either
        bool makeHardLink;
        std::wstring message;
    };
    const std::wstring linkedLog = LinkFixture(L"log-directory\\xray_runtime_error.log");
    const std::wstring linkedDirectory = LinkFixture(L"data-link");
    const Case cases[] = {
        {L"hard link as the log", DataDirectory(), RuntimeLog(), secret, true, true,
         L"[XRAY] runtime log refused (a link or not at its path): " + RuntimeLog()},
        {L"symbolic link as the log", LinkFixture(L"log-directory"), linkedLog, fixtureTarget, true,
         false, L"[XRAY] runtime log refused (a link or not at its path): " + linkedLog},
        {L"data directory a link", linkedDirectory, linkedDirectory + L"\\xray_runtime_error.log",
         LinkFixture(L"data-real\\xray_runtime_error.log"), false, false,
         L"[XRAY] data directory refused (a link or not ours): " + linkedDirectory},
    };
    const std::wstring marker = temp_.Path() + L"started.txt";
    const std::wstring config =
        Config(L"run.cfg", "marker_file=" + std::string(marker.begin(), marker.end()) + "\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.targetExists) {
            ASSERT_TRUE(WriteFileBytes(c.target, "untouched"));
        } else {
            DeleteFileW(c.target.c_str());
        }
        if (c.makeHardLink) {
            ASSERT_TRUE(CreateHardLinkW(c.runtimeLog.c_str(), c.target.c_str(), nullptr));
        }
        CoreProcessSettings settings = Settings(FakecoreDirectory());
        settings.dataDirectory = c.dataDirectory;
        settings.runtimeLogPath = c.runtimeLog;
        CoreProcessManager manager(settings);
        log_.messages.clear();

        const OpResult result = manager.StartXray(config);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.code, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
        EXPECT_THAT(log_.messages, ElementsAre(c.message));
        EXPECT_EQ(manager.RecordedProcessId(), 0u);
        if (c.targetExists) {
            EXPECT_EQ(ReadFileBytes(c.target), "untouched");
            DeleteFileW(c.target.c_str());
        } else {
            EXPECT_FALSE(FileExists(c.target));
        }
    }
    Sleep(kTestSettleMs);
    EXPECT_FALSE(FileExists(marker));
}

// Closing the manager's handles is what the service's death does to them.
TEST_F(CoreProcessManagerTest, CoreEndsWhenItsManagerLetsGoOfIt) {
    auto manager = std::make_unique<CoreProcessManager>(Settings(FakecoreDirectory()));
    ASSERT_TRUE(manager->StartXray(Config(L"run.cfg", "stdout=serving\n")).ok);
    const DWORD processId = manager->RecordedProcessId();
    ASSERT_FALSE(ProcessGone(processId));
    manager.reset();
    EXPECT_TRUE(WaitUntil([&] { return ProcessGone(processId); }));
}

// A job handle that may not take processes in.
Win32Result<UniqueHandle> JobWithoutAssignRight() {
    Win32Result<UniqueHandle> job = CreateKillOnCloseJob();
    if (!job) {
        return job;
    }
    UniqueHandle queryOnly;
    if (!DuplicateHandle(GetCurrentProcess(), job.value().Get(), GetCurrentProcess(),
                         queryOnly.Put(), JOB_OBJECT_QUERY, FALSE, 0)) {
        return LastError(L"DuplicateHandle");
    }
    return queryOnly;
}

TEST_F(CoreProcessManagerTest, CoreThatCannotRunInAJobIsNotStarted) {
    struct Case {
        const char* name;
        std::function<Win32Result<UniqueHandle>()> makeJob;
        std::uint32_t code;
        std::wstring message;
    };
    const Case cases[] = {
        {"job not made",
         [] {
             return Win32Result<UniqueHandle>(Win32Error{L"CreateJobObjectW", 8});
         },
         8, L"CreateJobObjectW failed. Error=8"},
        // Refused at the creation where the core is created inside its job,
        // at the assignment elsewhere.
        {"job refuses the core", JobWithoutAssignRight, ERROR_ACCESS_DENIED, L"failed. Error=5"},
    };
    const std::wstring marker = temp_.Path() + L"started.txt";
    const std::wstring config =
        Config(L"run.cfg", "marker_file=" + std::string(marker.begin(), marker.end()) + "\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CoreProcessSettings settings = Settings(FakecoreDirectory());
        settings.makeJob = c.makeJob;
        CoreProcessManager manager(settings);
        log_.messages.clear();

        const OpResult result = manager.StartXray(config);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.code, c.code);
        ASSERT_EQ(log_.messages.size(), 1u);
        EXPECT_THAT(log_.messages[0], ::testing::StartsWith(L"[XRAY] "));
        EXPECT_THAT(log_.messages[0], ::testing::EndsWith(c.message));
        EXPECT_EQ(manager.RecordedProcessId(), 0u);
        EXPECT_FALSE(manager.QueryXrayStatus().running);
        // The core never ran and holds no copy of its log.
        Sleep(kTestSettleMs);
        EXPECT_FALSE(FileExists(marker));
        UniqueHandle exclusive(CreateFileW(RuntimeLog().c_str(), GENERIC_READ, 0, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(exclusive);
    }
}

TEST_F(CoreProcessManagerTest, ConfigPathWithBlanksReachesTheCoreWhole) {
    ASSERT_TRUE(CreateDirectoryW((temp_.Path() + L"my configs").c_str(), nullptr));
    const std::wstring marker = temp_.Path() + L"marker.txt";
    const std::wstring path =
        Config(L"my configs\\client config.json",
               "marker_file=" + std::string(marker.begin(), marker.end()) + "\n");

    ASSERT_TRUE(manager_.StartXray(path).ok);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(marker); }));
    const std::wstring expected = L"config=" + path;
    EXPECT_THAT(ReadFileBytes(marker), HasSubstr(std::string(expected.begin(), expected.end())));
}

TEST_F(CoreProcessManagerTest, ConfigPathWithADoubleQuoteStartsNothing) {
    const std::wstring marker = temp_.Path() + L"marker.txt";
    const std::wstring path =
        Config(L"core.json", "marker_file=" + std::string(marker.begin(), marker.end()) + "\n");
    // Each would otherwise add arguments of the caller's choosing.
    for (const std::wstring& sent :
         {path + L"\" -confdir \"" + temp_.Path(), std::wstring(L"\"") + path, path + L"\""}) {
        const OpResult result = manager_.StartXray(sent);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.code, static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(manager_.RecordedProcessId(), 0u);
    }
    Sleep(kTestSettleMs);
    EXPECT_FALSE(FileExists(marker));
    EXPECT_EQ(log_.messages.size(), 3u);
}

TEST_F(CoreProcessManagerTest, CoreRunsInTheProgramDirectoryOrInheritsTheCurrentOne) {
    // A copy of the core in a directory with a blank in its name, and one in
    // the current directory for a service path without any directory.
    const std::wstring programDirectory = temp_.Path() + L"service dir\\";
    const std::wstring currentDirectory = temp_.Path() + L"current\\";
    for (const std::wstring& directory : {programDirectory, currentDirectory}) {
        ASSERT_TRUE(CreateDirectoryW(directory.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(FakecorePath().c_str(), (directory + L"xray.exe").c_str(), FALSE));
    }
    wchar_t saved[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(SetCurrentDirectoryW(currentDirectory.c_str()));

    struct Case {
        std::wstring programDirectory;
        std::wstring expectedDirectory;
    };
    const Case cases[] = {{programDirectory, programDirectory}, {L"", currentDirectory}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.programDirectory);
        CoreProcessManager manager(Settings(c.programDirectory));
        // A relative marker path lands in the core's working directory.
        ASSERT_TRUE(manager.StartXray(Config(L"cwd.cfg", "marker_file=cwd.txt\n")).ok);
        EXPECT_TRUE(WaitUntil([&] { return FileExists(c.expectedDirectory + L"cwd.txt"); }));
        manager.StopXray();
        DeleteFileW((c.expectedDirectory + L"cwd.txt").c_str());
    }
    SetCurrentDirectoryW(saved);
}

TEST_F(CoreProcessManagerTest, CoreInheritsOnlyItsOutputHandles) {
    // An unrelated inheritable handle of the service: the write end of a pipe.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    ASSERT_TRUE(CreatePipe(readEnd.Put(), writeEnd.Put(), &inheritable, 0));

    ASSERT_TRUE(manager_.StartXray(Config(L"run.cfg", "stdout=serving\n")).ok);
    writeEnd.Reset();

    // With no other writer the pipe reports itself broken; a core that had
    // inherited the write end would keep it open.
    DWORD available = 0;
    EXPECT_FALSE(PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
}

}  // namespace
}  // namespace velk
