#include "service/supervision/core_process_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "common/trusted_path.h"
#include "supervision_test_support.h"
#include "tests/support/direct_caller.h"
#include "tests/support/directory_link.h"
#include "tests/support/running_under_wine.h"

namespace velk {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using velk::test_support::ReadFileBytes;
using velk::test_support::WriteFileBytes;
using velk::testing::EventRecorder;
using velk::testing::ExpectServiceChildEnvironment;
using velk::testing::FakecoreDirectory;
using velk::testing::FakecoreJson;
using velk::testing::FileExists;
using velk::testing::Fnv1a;
using velk::testing::LinkFixture;
using velk::testing::LogRecorder;
using velk::testing::MarkerValue;
using velk::testing::ProcessGone;
using velk::testing::ScopedVariable;
using velk::testing::TempDirectory;
using velk::testing::Utf8;
using velk::testing::WaitUntil;

// The account the tests start cores for.
const std::wstring kOwner = L"S-1-5-21-owner";

// A start for kOwner, answered as the pipe answers it.
OpResult StartAs(CoreProcessManager& manager, const std::wstring& path,
                 const CallerReadAccess& reader) {
    return AnswerOf(manager.StartXray(path, reader, kOwner));
}

// Long enough for the fake core to start under Wine and, when told to exit at
// once, to have ended before the manager looks.
constexpr std::uint32_t kTestSettleMs = 400;

class CoreProcessManagerTest : public ::testing::Test {
  protected:
    CoreProcessManagerTest() : manager_(Settings(FakecoreDirectory())) {}

    ~CoreProcessManagerTest() override { manager_.StopXray(); }

    CoreProcessSettings Settings(const std::wstring& programDirectory) {
        CoreProcessSettings settings;
        settings.programDirectory = programDirectory;
        settings.dataDirectory = DataDirectory();
        settings.runtimeLogPath = RuntimeLog();
        settings.errorLogPath = ErrorLog();
        settings.settleMs = kTestSettleMs;
        settings.terminateWaitMs = 5000;
        settings.log = log_.Sink();
        settings.events = events_.Sink();
        settings.configCopyPath = DataDirectory() + L"\\xray_config.json";
        return settings;
    }

    std::wstring DataDirectory() const { return temp_.Path() + L"VELK-VPN"; }
    std::wstring RuntimeLog() const { return DataDirectory() + L"\\xray_runtime_error.log"; }
    std::wstring ErrorLog() const { return DataDirectory() + L"\\xray_error.log"; }

    std::wstring Config(const std::wstring& name, const std::string& text) {
        const std::wstring path = temp_.Path() + name;
        EXPECT_TRUE(WriteFileBytes(path, text));
        return path;
    }

    TempDirectory temp_;
    LogRecorder log_;
    EventRecorder events_;
    CoreProcessManager manager_;
};

TEST_F(CoreProcessManagerTest, SecondStartKeepsTheRunningCoreAndItsConfig) {
    const std::wstring first =
        Config(L"first.json", FakecoreJson({{"stdout", "core with first config"}}));
    const std::wstring second =
        Config(L"second.json", FakecoreJson({{"stdout", "core with second config"}}));

    const OpResult started = StartAs(manager_, first, test_support::AnyoneMayRead);
    EXPECT_TRUE(started.ok);
    EXPECT_EQ(started.code, 0u);
    const DWORD processId = manager_.RecordedProcessId();
    ASSERT_NE(processId, 0u);

    const OpResult again = StartAs(manager_, second, test_support::AnyoneMayRead);
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
            Config(L"ending.json",
                   FakecoreJson({{"exit_after_ms", kTestSettleMs + 500}, {"exit_code", code}}));
        const std::wstring running =
            Config(L"running.json", FakecoreJson({{"stdout", "second core"}}));

        const std::size_t eventsBefore = events_.Snapshot().size();
        ASSERT_TRUE(StartAs(manager_, ending, test_support::AnyoneMayRead).ok);
        const DWORD firstId = manager_.RecordedProcessId();
        ASSERT_TRUE(WaitUntil([&] { return ProcessGone(firstId); }));
        // The event log hears of it, with the process and its code.
        ASSERT_TRUE(WaitUntil([&] { return events_.Snapshot().size() > eventsBefore; }));
        const auto reported = events_.Snapshot().back();
        EXPECT_EQ(reported.first, ServiceEvent::kCoreEnded);
        EXPECT_THAT(reported.second, ElementsAre(std::to_wstring(firstId), std::to_wstring(code)));

        // Nothing watches the core: it stays recorded and reports its exit code.
        for (int i = 0; i < 3; ++i) {
            const XrayStatus status = manager_.QueryXrayStatus();
            EXPECT_FALSE(status.running) << "query " << i;
            EXPECT_EQ(status.code, code) << "query " << i;
        }
        EXPECT_EQ(manager_.RecordedProcessId(), firstId);

        log_.messages.clear();
        const OpResult restarted = StartAs(manager_, running, test_support::AnyoneMayRead);
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
        L"ending.json", FakecoreJson({{"exit_after_ms", kTestSettleMs + 300}, {"exit_code", 0}}));
    ASSERT_TRUE(StartAs(manager_, ending, test_support::AnyoneMayRead).ok);
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
        std::uint32_t code;
    };
    const Case cases[] = {
        {"exit code 23", 23},
        {"exit code 0", 0},
        {"exit code above 2^31", 3221225477u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log_.messages.clear();
        const std::wstring path =
            Config(L"immediate.json", FakecoreJson({{"exit_after_ms", 0}, {"exit_code", c.code}}));

        const OpResult result = StartAs(manager_, path, test_support::AnyoneMayRead);
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
    const std::wstring first = Config(L"first.json", FakecoreJson({{"stdout", "first out"},
                                                                   {"stderr", "first err"},
                                                                   {"exit_after_ms", 0},
                                                                   {"exit_code", 1}}));
    const std::wstring second = Config(L"second.json", FakecoreJson({{"stdout", "second out"}}));

    EXPECT_FALSE(StartAs(manager_, first, test_support::AnyoneMayRead).ok);
    EXPECT_TRUE(FileExists(RuntimeLog()));
    EXPECT_TRUE(StartAs(manager_, second, test_support::AnyoneMayRead).ok);
    manager_.StopXray();

    EXPECT_EQ(ReadFileBytes(RuntimeLog()), "first out\nfirst err\nsecond out\n");
}

// The session is the last start that ran a core: a refused or failed start
// leaves it (and what it wrote) to its owner, and a core of the next account
// shows only its own lines of both logs.
TEST_F(CoreProcessManagerTest, OnlyAStartThatRanACoreTakesTheSessionAndItsOutput) {
    const std::wstring alice = L"S-1-5-21-alice";
    const std::wstring bob = L"S-1-5-21-bob";
    EXPECT_EQ(manager_.Holder().owner, L"");

    // Alice's core sends its access log to the error log the service reads back.
    const std::wstring aliceConfig = Config(
        L"alice.json",
        FakecoreJson({{"stdout", "alice visited example.org"}}, {{"access", "xray_error.log"}}));
    ASSERT_EQ(manager_.StartXray(aliceConfig, test_support::AnyoneMayRead, alice).kind,
              CoreStartKind::kStarted);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(ErrorLog()); }));
    manager_.StopXray();
    ASSERT_TRUE(manager_.ReadLogTail(CoreLog::kRuntime, 8192));
    EXPECT_EQ(manager_.ReadLogTail(CoreLog::kRuntime, 8192).value(),
              L"alice visited example.org\n");
    EXPECT_THAT(manager_.ReadLogTail(CoreLog::kError, 8192).value(),
                HasSubstr(L"fakecore log line"));

    struct Case {
        const char* name;
        std::wstring path;
        CoreStartKind kind;
        std::uint32_t code;  // the answer's
        std::wstring owner;
        std::wstring runtimeTail;
    };
    const std::wstring aliceLines = L"alice visited example.org\n";
    const Case cases[] = {
        {"refused path", L"\\\\host\\share\\c.json", CoreStartKind::kRefused, 87, alice,
         aliceLines},
        {"refused document", Config(L"bob.yaml", "{}"), CoreStartKind::kRefused, 87, alice,
         aliceLines},
        {"missing file", temp_.Path() + L"absent.json", CoreStartKind::kFailed, 2, alice,
         aliceLines},
        {"core ends at once",
         Config(L"bob.json",
                FakecoreJson(
                    {{"stdout", "bob cannot listen"}, {"exit_after_ms", 0}, {"exit_code", 3}})),
         CoreStartKind::kEndedAtOnce, 3, bob, L"bob cannot listen\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CoreStartOutcome outcome =
            manager_.StartXray(c.path, test_support::AnyoneMayRead, bob);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(AnswerOf(outcome).code, c.code);
        EXPECT_EQ(outcome.kind == CoreStartKind::kRefused, !outcome.refusal.reason.empty());
        EXPECT_EQ(manager_.Holder().owner, c.owner);
        EXPECT_FALSE(manager_.Holder().coreHeld);
        EXPECT_EQ(manager_.ReadLogTail(CoreLog::kRuntime, 8192).value(), c.runtimeTail);
    }
    // Bob's core wrote nothing to the error log: none of alice's lines show.
    EXPECT_EQ(manager_.ReadLogTail(CoreLog::kError, 8192).value(), L"");

    // Bob's next core starts where his last one's output ended.
    const std::wstring quiet = Config(L"quiet.json", FakecoreJson({{"stderr", "bob serving"}}));
    EXPECT_EQ(manager_.StartXray(quiet, test_support::AnyoneMayRead, bob).kind,
              CoreStartKind::kStarted);
    EXPECT_TRUE(manager_.Holder().coreHeld);
    EXPECT_EQ(manager_.ReadLogTail(CoreLog::kRuntime, 8192).value(), L"bob serving\n");
    EXPECT_EQ(ReadFileBytes(RuntimeLog()),
              "alice visited example.org\nbob cannot listen\nbob serving\n");
}

TEST_F(CoreProcessManagerTest, StopTerminatesARunningCore) {
    const std::wstring path = Config(L"run.json", FakecoreJson({{"stdout", "serving"}}));
    ASSERT_TRUE(StartAs(manager_, path, test_support::AnyoneMayRead).ok);
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
    EXPECT_TRUE(events_.Snapshot().empty()) << "a core the service ended is no event";
}

TEST_F(CoreProcessManagerTest, StopWithEmptySlot) {
    const OpResult stopped = manager_.StopXray();
    EXPECT_TRUE(stopped.ok);
    EXPECT_EQ(stopped.code, 0u);
    EXPECT_THAT(log_.messages, ElementsAre(L"[XRAY] stop requested, but no xray process exists."));
}

TEST_F(CoreProcessManagerTest, MissingCoreProgramFailsWithTheSystemCodeAndReleasesTheLog) {
    CoreProcessManager manager(Settings(temp_.Path()));
    const OpResult result =
        StartAs(manager, Config(L"run.json", FakecoreJson({{"stdout", "never"}})),
                test_support::AnyoneMayRead);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.code, 2u);
    EXPECT_THAT(log_.messages, ElementsAre(L"[XRAY] CreateProcessW failed. Error=2"));
    EXPECT_EQ(manager.RecordedProcessId(), 0u);

    // No handle to the runtime log is left open: it can be opened exclusively.
    UniqueHandle exclusive(CreateFileW(RuntimeLog().c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(exclusive);
}

// Closing the manager's handles is what the service's death does to them.
TEST_F(CoreProcessManagerTest, CoreEndsWhenItsManagerLetsGoOfIt) {
    auto manager = std::make_unique<CoreProcessManager>(Settings(FakecoreDirectory()));
    ASSERT_TRUE(StartAs(*manager, Config(L"run.json", FakecoreJson({{"stdout", "serving"}})),
                        test_support::AnyoneMayRead)
                    .ok);
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
    const std::wstring config = Config(L"run.json", FakecoreJson({{"marker_file", Utf8(marker)}}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CoreProcessSettings settings = Settings(FakecoreDirectory());
        settings.makeJob = c.makeJob;
        CoreProcessManager manager(settings);
        log_.messages.clear();

        const OpResult result = StartAs(manager, config, test_support::AnyoneMayRead);
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

TEST_F(CoreProcessManagerTest, CoreInheritsOnlyItsOutputHandles) {
    // An unrelated inheritable handle of the service: the write end of a pipe.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    ASSERT_TRUE(CreatePipe(readEnd.Put(), writeEnd.Put(), &inheritable, 0));

    ASSERT_TRUE(StartAs(manager_, Config(L"run.json", FakecoreJson({{"stdout", "serving"}})),
                        test_support::AnyoneMayRead)
                    .ok);
    writeEnd.Reset();

    // With no other writer the pipe reports itself broken; a core that had
    // inherited the write end would keep it open.
    DWORD available = 0;
    EXPECT_FALSE(PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
}

// A caller's configuration reaches a core running as SYSTEM: each of these
// is refused with 87 and an event, and nothing starts or is written.
TEST_F(CoreProcessManagerTest, RefusedConfigurationsStartAndWriteNothing) {
    const std::wstring marker = temp_.Path() + L"started.txt";
    const std::string runs = FakecoreJson({{"marker_file", Utf8(marker)}});
    const std::wstring good = Config(L"good.json", runs);
    ASSERT_TRUE(WriteFileBytes(LinkFixture(L"data-real\\config.json"), runs));
    const std::wstring windowsLog = L"C:\\windows\\velk-escape.log";
    const std::wstring climbedLog = temp_.Path() + L"climbed.log";

    struct Case {
        const wchar_t* what;
        std::wstring path;
    };
    const Case cases[] = {
        {L"UNC", L"\\\\host\\share\\c.json"},
        {L"pipe", L"\\\\.\\pipe\\x"},
        {L"long form", L"\\\\?\\" + good},
        {L"URL", L"https://example.com/c.json"},
        {L"stream", good + L":s"},
        {L"device", L"CON"},
        {L"double quote", good + L"\" -confdir \"" + temp_.Path()},
        {L"through a junction", LinkFixture(L"data-link\\config.json")},
        {L"YAML", Config(L"c.yaml", runs)},
        {L"not JSON", Config(L"kv.json", "marker_file=" + Utf8(marker) + "\n")},
        {L"access elsewhere", Config(L"access.json", FakecoreJson({{"marker_file", Utf8(marker)}},
                                                                  {{"access", Utf8(windowsLog)}}))},
        {L"error climbing out",
         Config(L"error.json",
                FakecoreJson({{"marker_file", Utf8(marker)}}, {{"error", "..\\climbed.log"}}))},
        {L"larger than the bound", Config(L"large.json", runs + std::string(200, ' '))},
    };
    CoreProcessSettings settings = Settings(FakecoreDirectory());
    settings.maxConfigBytes = runs.size() + 100;
    CoreProcessManager manager(settings);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        events_.events.clear();
        const OpResult result = StartAs(manager, c.path, test_support::AnyoneMayRead);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.code, static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(manager.RecordedProcessId(), 0u);
        ASSERT_EQ(events_.events.size(), 1u);
        EXPECT_EQ(events_.events[0].first, ServiceEvent::kConfigRefused);
        ASSERT_EQ(events_.events[0].second.size(), 2u);
        EXPECT_EQ(events_.events[0].second[0], c.path);
        EXPECT_THAT(events_.events[0].second[1], Not(IsEmpty()));
    }
    Sleep(kTestSettleMs);
    EXPECT_FALSE(FileExists(marker));
    EXPECT_FALSE(FileExists(windowsLog));
    EXPECT_FALSE(FileExists(climbedLog));
    EXPECT_FALSE(FileExists(DataDirectory())) << "nothing is made for a refused configuration";

    // The same file by its plain path starts.
    EXPECT_TRUE(StartAs(manager, good, test_support::AnyoneMayRead).ok);
    EXPECT_TRUE(WaitUntil([&] { return FileExists(marker); }));
    manager.StopXray();
}

// The caller's check is asked of the very file the service opened; what it
// answers is the answer.
TEST_F(CoreProcessManagerTest, ConfigurationThatCannotBeReadAsTheCallerStartsNothing) {
    const std::wstring marker = temp_.Path() + L"started.txt";
    const std::wstring path = Config(L"run.json", FakecoreJson({{"marker_file", Utf8(marker)}}));
    for (const DWORD refusal : {DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_CANNOT_IMPERSONATE}}) {
        int asked = 0;
        const test_support::ReadAccessFrom refuses([&](void* file) -> Win32Status {
            ++asked;
            EXPECT_TRUE(IsFileAtPath(static_cast<HANDLE>(file), path));
            return Win32Error{L"AccessCheck", refusal};
        });
        EXPECT_EQ(StartAs(manager_, path, refuses).code, static_cast<std::uint32_t>(refusal));
        EXPECT_EQ(asked, 1);
    }
    EXPECT_EQ(StartAs(manager_, temp_.Path() + L"absent.json", test_support::AnyoneMayRead).code,
              static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(manager_.RecordedProcessId(), 0u);
    Sleep(kTestSettleMs);
    EXPECT_FALSE(FileExists(marker));
}

// Nobody can write the file between the caller's check and the read (the
// service holds it shared for reading only), and a rewrite once the start is
// done changes nothing: the core reads the document that was checked, written
// out as compact JSON (which is how FakecoreJson writes it too).
TEST_F(CoreProcessManagerTest, CoreReadsTheDocumentReadAsTheCaller) {
    ASSERT_TRUE(CreateDirectoryW((temp_.Path() + L"my configs").c_str(), nullptr));
    const std::wstring marker = temp_.Path() + L"marker.txt";
    const std::string original = FakecoreJson({{"marker_file", Utf8(marker)}});
    const std::wstring path = Config(L"my configs\\client config.json", original);
    const std::string rewritten =
        FakecoreJson({{"marker_file", Utf8(marker)}}, {{"access", "C:\\windows\\late.log"}});
    int asked = 0;
    const test_support::ReadAccessFrom triesToRewrite([&](void*) -> Win32Status {
        ++asked;
        EXPECT_FALSE(WriteFileBytes(path, rewritten)) << "written while the service reads it";
        return Done{};
    });

    ASSERT_TRUE(StartAs(manager_, path, triesToRewrite).ok);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(WriteFileBytes(path, rewritten));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(marker); }));
    const std::string seen = ReadFileBytes(marker);
    EXPECT_EQ(MarkerValue(seen, "digest"), Fnv1a(original)) << seen;
    EXPECT_EQ(MarkerValue(seen, "config"), Utf8(DataDirectory() + L"\\xray_config.json"));
    EXPECT_EQ(ReadFileBytes(DataDirectory() + L"\\xray_config.json"), original);
    EXPECT_EQ(log_.messages.back(), L"[XRAY] started successfully with config: " + path);
    EXPECT_FALSE(FileExists(L"C:\\windows\\late.log"));
}

TEST_F(CoreProcessManagerTest, CoreSeesOnlyTheServicesChildEnvironment) {
    const ScopedVariable inherited(L"VELK_INHERITED_PROBE", L"from the service");
    const ScopedVariable asset(L"XRAY_LOCATION_ASSET", L"C:\\velk assets");
    const std::wstring marker = temp_.Path() + L"env.txt";
    const std::wstring path = Config(L"env.json", FakecoreJson({{"marker_file", Utf8(marker)}}));
    ASSERT_TRUE(StartAs(manager_, path, test_support::AnyoneMayRead).ok);
    ASSERT_TRUE(WaitUntil([&] { return FileExists(marker); }));
    ExpectServiceChildEnvironment(ReadFileBytes(marker), "C:\\velk assets");
}

TEST_F(CoreProcessManagerTest, RelativeLogNamesLandInTheDataDirectory) {
    const std::wstring path = Config(
        L"logs.json",
        FakecoreJson({{"stdout", "serving"}}, {{"access", "access.log"}, {"error", "e.log"}}));
    ASSERT_TRUE(StartAs(manager_, path, test_support::AnyoneMayRead).ok);
    for (const wchar_t* name : {L"\\access.log", L"\\e.log"}) {
        EXPECT_TRUE(WaitUntil([&] { return FileExists(DataDirectory() + name); })) << Utf8(name);
    }
    EXPECT_THAT(ReadFileBytes(DataDirectory() + L"\\access.log"), HasSubstr("fakecore log line"));
}

// What another account put at the log's path, or holds open, is moved aside
// (or, held without sharing, left beside a fresh log) and the core starts. A
// hard link makes the whole folder not ours: it goes aside with it.
TEST_F(CoreProcessManagerTest, LogThatIsNotOursNeverStopsAStart) {
    const std::wstring secret = temp_.Path() + L"secret.txt";
    ASSERT_TRUE(CreateDirectoryW(DataDirectory().c_str(), nullptr));
    const std::wstring config = Config(L"run.json", FakecoreJson({{"stdout", "serving"}}));

    // A symbolic link is not among them: Wine cannot make one, and moving the
    // build's would break the other tests that use it.
    enum class Plant { kDirectory, kHardLink, kHeldWithoutSharing };
    struct Case {
        const wchar_t* what;
        Plant plant;
        std::wstring runtimeLog;
        std::wstring target;  // what the planted thing leads to; stays untouched
        bool freshBeside;     // held: the original stays, a fresh log is used
        bool folderAside;     // the data folder is moved aside whole
    };
    const Case cases[] = {
        {L"a directory", Plant::kDirectory, DataDirectory() + L"\\directory.log", L"", false,
         false},
        {L"a hard link", Plant::kHardLink, DataDirectory() + L"\\linked.log", secret, false, true},
        {L"held open without sharing", Plant::kHeldWithoutSharing, DataDirectory() + L"\\held.log",
         L"", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.target.empty()) {
            ASSERT_TRUE(WriteFileBytes(c.target, "untouched"));
        }
        UniqueHandle holder;
        switch (c.plant) {
            case Plant::kDirectory:
                ASSERT_TRUE(CreateDirectoryW(c.runtimeLog.c_str(), nullptr));
                break;
            case Plant::kHardLink:
                ASSERT_TRUE(CreateHardLinkW(c.runtimeLog.c_str(), c.target.c_str(), nullptr))
                    << GetLastError();
                break;
            case Plant::kHeldWithoutSharing:
                holder.Reset(CreateFileW(c.runtimeLog.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                         nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
                ASSERT_TRUE(holder);
                break;
        }
        CoreProcessSettings settings = Settings(FakecoreDirectory());
        settings.runtimeLogPath = c.runtimeLog;
        CoreProcessManager manager(settings);
        events_.events.clear();

        const OpResult result = StartAs(manager, config, test_support::AnyoneMayRead);
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.code, 0u);
        manager.StopXray();
        // What the core wrote is read back from the file it wrote to, also
        // when that was a fresh one beside a log held without sharing.
        const Win32Result<std::wstring> tail = manager.ReadLogTail(CoreLog::kRuntime, 8192);
        ASSERT_TRUE(tail) << Utf8(FailureText(tail.error()));
        EXPECT_EQ(tail.value(), L"serving\n");
        ASSERT_EQ(events_.events.size(), 1u);
        EXPECT_EQ(events_.events[0].first, ServiceEvent::kFileMovedAside);
        ASSERT_EQ(events_.events[0].second.size(), 2u);
        const std::wstring aside = c.folderAside ? DataDirectory() : c.runtimeLog;
        EXPECT_EQ(events_.events[0].second[0], aside);
        const std::wstring newPath = events_.events[0].second[1];
        EXPECT_EQ(newPath.compare(0, aside.size() + 1, aside + L"."), 0);
        EXPECT_NE(GetFileAttributesW(newPath.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(ReadFileBytes(c.freshBeside ? newPath : c.runtimeLog), "serving\n");
        if (!c.target.empty()) {
            EXPECT_EQ(ReadFileBytes(c.target), "untouched");
            DeleteFileW(c.target.c_str());
        }
        holder.Reset();
        DeleteFileW(c.runtimeLog.c_str());
        if (c.folderAside) {
            DeleteFileW((newPath + c.runtimeLog.substr(aside.size())).c_str());
        }
        DeleteFileW(newPath.c_str());
        RemoveDirectoryW(newPath.c_str());
    }
}

// SYSTEM must not make its files wherever a user's link points: a data
// directory that is a link, or holds one, is moved aside whole and made anew,
// and the core starts.
TEST_F(CoreProcessManagerTest, DataDirectoryWithALinkIsMovedAsideAndTheCoreStarts) {
    const std::wstring decoy = temp_.Path() + L"decoy";
    ASSERT_TRUE(CreateDirectoryW(decoy.c_str(), nullptr));
    // The core as it is: running until it is stopped.
    const std::wstring config = Config(L"run.json", "{}");
    const std::wstring cases[] = {DataDirectory(), DataDirectory() + L"\\x"};
    for (const std::wstring& link : cases) {
        SCOPED_TRACE(Utf8(link));
        // Wine renames what a Unix link leads to, never the link itself.
        if (link == DataDirectory() && test_support::RunningUnderWine()) {
            continue;
        }
        if (link != DataDirectory()) {
            ASSERT_TRUE(CreateDirectoryW(DataDirectory().c_str(), nullptr));
        }
        ASSERT_TRUE(test_support::MakeDirectoryLink(link, decoy));
        log_.messages.clear();
        events_.events.clear();

        EXPECT_TRUE(StartAs(manager_, config, test_support::AnyoneMayRead).ok)
            << Utf8(log_.messages.empty() ? L"" : log_.messages.back());
        manager_.StopXray();
        ASSERT_EQ(events_.events.size(), 1u);
        EXPECT_EQ(events_.events[0].first, ServiceEvent::kFileMovedAside);
        ASSERT_EQ(events_.events[0].second.size(), 2u);
        EXPECT_EQ(events_.events[0].second[0], DataDirectory());
        const std::wstring moved = events_.events[0].second[1];
        ASSERT_GE(log_.messages.size(), 2u);
        EXPECT_EQ(log_.messages[0],
                  L"[XRAY] data directory not ours (a link or junction: " + link + L")");
        EXPECT_EQ(log_.messages[1],
                  L"[XRAY] not ours, moved aside: " + DataDirectory() + L" -> " + moved);
        // The core's files are in the folder made anew, none where the link led.
        EXPECT_TRUE(FileExists(RuntimeLog()));
        EXPECT_TRUE(FileExists(DataDirectory() + L"\\xray_config.json"));
        EXPECT_TRUE(std::filesystem::is_empty(decoy));

        test_support::RemoveDirectoryLinksBelow(moved);
        std::error_code ignored;
        std::filesystem::remove_all(moved, ignored);
        std::filesystem::remove_all(DataDirectory(), ignored);
    }
}

}  // namespace
}  // namespace velk
