// The core manager, the helper runner and the error log reader, reached
// through the real service's pipe.
#include "tests/system/service/service_scenario.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/directory_link.h"

namespace velk::scenario {
namespace {

const std::wstring kConfigDirectory = std::wstring(kServiceDirectory) + L"core configs\\";
const std::wstring kCorePidPath = std::wstring(kStubDirectory) + L"\\core.pid";
const std::wstring kCoreMarkerPath = std::wstring(kStubDirectory) + L"\\core.marker";

class ServiceSupervision : public ServiceScenario {
  protected:
    void SetUp() override {
        ServiceScenario::SetUp();
        DeleteFileW(kCorePidPath.c_str());
        DeleteFileW(kCoreMarkerPath.c_str());
        CreateDirectoryW(kConfigDirectory.c_str(), nullptr);
        if (!HasFatalFailure()) {
            StartAndWait();
        }
    }

    // Writes a fakecore config under a name with blanks; its full path.
    static std::wstring CoreConfig(const std::wstring& name, const std::string& lines) {
        const std::wstring path = kConfigDirectory + name + L".json";
        EXPECT_TRUE(WriteFileBytes(path, lines));
        return path;
    }

    static std::wstring StartCore(const std::wstring& configPath) {
        return Send(L"xray_start \"" + configPath + L"\"");
    }

    static DWORD CorePid() {
        DWORD pid = 0;
        Eventually([&] {
            pid =
                static_cast<DWORD>(std::strtoul(ReadFileBytes(kCorePidPath).c_str(), nullptr, 10));
            return pid != 0;
        });
        return pid;
    }
};

constexpr wchar_t kStarted[] = L"ok=true;exitCode=0;message=xray start finished";
constexpr wchar_t kRunningStatus[] = L"ok=true;exitCode=259;running=true;message=xray status";
constexpr wchar_t kEmptyStatus[] = L"ok=true;exitCode=0;running=false;message=xray status";

TEST_F(ServiceSupervision, CoreAlreadyRunningKeepsItsFirstConfig) {
    const std::wstring first = CoreConfig(
        L"run forever",
        R"({"stats": {"fakecore": {"pid_file": "C:\\ProgramData\\velk-stub-helper\\core.pid",
                        "marker_file": "C:\\ProgramData\\velk-stub-helper\\core.marker"}}})");
    const std::wstring second =
        CoreConfig(L"other", R"({"stats": {"fakecore": {"exit_after_ms": 0, "exit_code": 5}}})");
    EXPECT_EQ(StartCore(first), kStarted);
    EXPECT_EQ(Send(L"xray_status"), kRunningStatus);
    EXPECT_EQ(StartCore(second), kStarted) << "already running";
    EXPECT_EQ(Send(L"xray_status"), kRunningStatus);
    ASSERT_TRUE(Eventually([] { return !ReadFileBytes(kCoreMarkerPath).empty(); }));
    const std::string marker = ReadFileBytes(kCoreMarkerPath);
    EXPECT_NE(marker.find("config=C:\\ProgramData\\VELK-VPN\\xray_config.json"), std::string::npos)
        << marker;
    // The first configuration's document, written out compact with its keys sorted.
    EXPECT_EQ(
        ReadFileBytes(kCoreConfigCopyPath),
        R"({"stats":{"fakecore":{"marker_file":"C:\\ProgramData\\velk-stub-helper\\core.marker",)"
        R"("pid_file":"C:\\ProgramData\\velk-stub-helper\\core.pid"}}})");
    EXPECT_EQ(Send(L"xray_stop"), L"ok=true;exitCode=0;message=xray stopped");
    EXPECT_EQ(Send(L"xray_status"), kEmptyStatus);
}

TEST_F(ServiceSupervision, CoreEndedByItselfIsReportedWithItsCode) {
    const std::wstring config = CoreConfig(
        L"ends soon",
        R"({"stats": {"fakecore": {"pid_file": "C:\\ProgramData\\velk-stub-helper\\core.pid",
            "exit_after_ms": 1500, "exit_code": 3221225477}}})");
    EXPECT_EQ(StartCore(config), kStarted);
    const DWORD pid = CorePid();
    ASSERT_NE(pid, 0u);
    ASSERT_TRUE(Eventually([&] { return !ProcessAlive(pid); }));
    const wchar_t ended[] = L"ok=true;exitCode=3221225477;running=false;message=xray status";
    EXPECT_EQ(Send(L"xray_status"), ended);
    EXPECT_EQ(Send(L"xray_status"), ended) << "the record is unchanged by a query";
    EXPECT_EQ(Send(L"xray_stop"), L"ok=true;exitCode=0;message=xray stopped");
    EXPECT_EQ(Send(L"xray_status"), kEmptyStatus);
}

TEST_F(ServiceSupervision, CoreEndingWithinTheSettleTimeFailsTheStart) {
    struct Case {
        const char* code;
        const wchar_t* answer;
    };
    for (const Case c : {Case{"23", L"ok=false;exitCode=23;message=xray start finished"},
                         Case{"0", L"ok=false;exitCode=0;message=xray start finished"}}) {
        const std::wstring config =
            CoreConfig(L"quick exit",
                       std::string(R"({"stats": {"fakecore": {"exit_after_ms": 0, "exit_code": )") +
                           c.code + "}}}");
        EXPECT_EQ(StartCore(config), c.answer) << c.code;
        EXPECT_EQ(Send(L"xray_status"), kEmptyStatus) << c.code;
    }
}

TEST_F(ServiceSupervision, RuntimeLogIsCreatedAndAppendedAcrossStarts) {
    // Made as the service started, before any request.
    ASSERT_NE(GetFileAttributesW(kDataDirectory), INVALID_FILE_ATTRIBUTES) << "made at the start";
    ASSERT_EQ(GetFileAttributesW(kCoreRuntimeLogPath), INVALID_FILE_ATTRIBUTES) << "empty";
    EXPECT_EQ(StartCore(CoreConfig(
                  L"first",
                  R"({"stats": {"fakecore": {"stdout": "first run", "stderr": "first error"}}})")),
              kStarted);
    EXPECT_EQ(Send(L"xray_stop"), L"ok=true;exitCode=0;message=xray stopped");
    EXPECT_EQ(
        StartCore(CoreConfig(L"second", R"({"stats": {"fakecore": {"stdout": "second run"}}})")),
        kStarted);
    EXPECT_EQ(Send(L"xray_stop"), L"ok=true;exitCode=0;message=xray stopped");
    const std::string log = ReadFileBytes(kCoreRuntimeLogPath);
    const std::size_t first = log.find("first run\n");
    const std::size_t error = log.find("first error\n");
    const std::size_t second = log.find("second run\n");
    ASSERT_NE(first, std::string::npos) << log;
    ASSERT_NE(error, std::string::npos) << log;
    ASSERT_NE(second, std::string::npos) << log;
    EXPECT_LT(std::max(first, error), second) << log;
}

TEST_F(ServiceSupervision, RunningCoreIsEndedBeforeTheServiceStops) {
    EXPECT_EQ(
        StartCore(CoreConfig(
            L"run forever",
            R"({"stats": {"fakecore": {"pid_file": "C:\\ProgramData\\velk-stub-helper\\core.pid"}}})")),
        kStarted);
    const DWORD pid = CorePid();
    ASSERT_NE(pid, 0u);
    ASSERT_TRUE(ProcessAlive(pid));
    StopAndWait();
    EXPECT_FALSE(ProcessAlive(pid)) << "still running when STOPPED was reported";
}

TEST_F(ServiceSupervision, HelperExitCodesComeBackUnchanged) {
    struct Case {
        const wchar_t* request;
        const wchar_t* answer;
        const wchar_t* call;  // what the helper was started with
    };
    const Case cases[] = {
        {L"route_start exit:0", L"ok=true;exitCode=0;message=helper finished", L" start exit:0"},
        {L"route_stop exit:4 extra words", L"ok=false;exitCode=4;message=helper finished",
         L" stop exit:4"},
        {L"start exit:7", L"ok=false;exitCode=7;message=helper finished", L" start exit:7"},
    };
    for (const Case& c : cases) {
        const std::size_t before = StubCalls().size();
        EXPECT_EQ(Send(c.request), c.answer) << c.request;
        const auto calls = StubCalls();
        ASSERT_EQ(calls.size(), before + 1) << c.request;
        const std::wstring& call = calls.back();
        EXPECT_EQ(call.substr(call.find(L' ')), c.call) << c.request;
    }
}

TEST_F(ServiceSupervision, MissingHelperGivesFileNotFound) {
    ASSERT_TRUE(DeleteFileW((std::wstring(kServiceDirectory) + L"netsteer.exe").c_str()));
    EXPECT_EQ(Send(L"route_start 203.0.113.7"), L"ok=false;exitCode=2;message=helper finished");
}

TEST_F(ServiceSupervision, ErrorLogTailAndFallback) {
    CreateDirectoryW(kDataDirectory, nullptr);
    std::string accented;
    for (int i = 0; i < 5000; ++i) {
        accented += "\xC3\xA9";  // U+00E9 in UTF-8
    }
    accented += "a";
    struct Case {
        const char* name;
        std::optional<std::string> runtimeLog;  // nullopt: missing
        const char* errorLog;
        std::wstring message;
    };
    const Case cases[] = {
        {"both missing", std::nullopt, nullptr, L""},
        {"runtime log missing", std::nullopt, "core failed; exitCode=9\r\nline two",
         L"core failed; exitCode=9\r\nline two"},
        {"runtime log empty", "", "from the second file", L"from the second file"},
        {"runtime log wins", "from the runtime log", "from the second file",
         L"from the runtime log"},
        {"tail starts inside a character", accented, nullptr,
         L"\uFFFD" + std::wstring(4095, L'\u00e9') + L"a"},
        // The answer ends at its first NUL: one the core wrote must not cut it.
        {"NUL bytes in the core's output", std::string("core\0panicked\0", 14), nullptr,
         L"core\uFFFDpanicked\uFFFD"},
    };
    for (const Case& c : cases) {
        DeleteFileW(kCoreRuntimeLogPath);
        DeleteFileW(kCoreErrorLogPath);
        if (c.runtimeLog) {
            ASSERT_TRUE(WriteFileBytes(kCoreRuntimeLogPath, *c.runtimeLog)) << c.name;
        }
        if (c.errorLog != nullptr) {
            ASSERT_TRUE(WriteFileBytes(kCoreErrorLogPath, c.errorLog)) << c.name;
        }
        EXPECT_EQ(Send(L"xray_last_error"), L"ok=true;exitCode=0;message=" + c.message) << c.name;
    }
}

TEST_F(ServiceSupervision, ErrorLogIsReadWhileTheCoreAppendsToIt) {
    EXPECT_EQ(StartCore(CoreConfig(
                  L"talkative",
                  R"({"stats": {"fakecore": {"stderr": "listening on 127.0.0.1:10808"}}})")),
              kStarted);
    EXPECT_EQ(Send(L"xray_last_error"),
              L"ok=true;exitCode=0;message=listening on 127.0.0.1:10808\n");
    EXPECT_EQ(Send(L"xray_status"), kRunningStatus) << "the core still holds its log";
}

constexpr wchar_t kRefused[] = L"ok=false;exitCode=87;message=xray start finished";

TEST_F(ServiceSupervision, ConfigurationsReachingBeyondTheirFileAndTheDataFolderAreRefused) {
    const std::wstring good = CoreConfig(
        L"good",
        R"({"stats": {"fakecore": {"marker_file": "C:\\ProgramData\\velk-stub-helper\\core.marker"}}})");
    const std::wstring escaped = L"C:\\ProgramData\\velk-escape.log";
    DeleteFileW(escaped.c_str());
    DeleteFileW(L"C:\\windows\\velk-x.log");
    const std::wstring cases[] = {
        L"\\\\host\\share\\c.json",
        L"\\\\.\\pipe\\x",
        L"\\\\?\\" + good,
        L"https://example.com/c.json",
        good + L":s",
        L"CON",
        CoreConfig(L"access elsewhere", R"({"log": {"access": "C:\\windows\\velk-x.log"}})"),
        CoreConfig(L"error climbs out", R"({"log": {"error": "..\\velk-escape.log"}})"),
        CoreConfig(L"not json", "stdout=core started\n"),
    };
    for (const std::wstring& path : cases) {
        EXPECT_EQ(StartCore(path), kRefused) << std::string(path.begin(), path.end());
        EXPECT_EQ(Send(L"xray_status"), kEmptyStatus);
    }
    Sleep(1000);
    EXPECT_TRUE(ReadFileBytes(kCoreMarkerPath).empty()) << "a core started";
    EXPECT_EQ(GetFileAttributesW(escaped.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(L"C:\\windows\\velk-x.log"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ServiceSupervision, RelativeAccessLogLandsInTheDataFolder) {
    EXPECT_EQ(
        StartCore(CoreConfig(
            L"with access log",
            R"({"stats": {"fakecore": {"stdout": "serving"}}, "log": {"access": "access.log"}})")),
        kStarted);
    const std::wstring accessLog = std::wstring(kDataDirectory) + L"\\access.log";
    EXPECT_TRUE(Eventually([&] { return !ReadFileBytes(accessLog).empty(); }));
    EXPECT_EQ(Send(L"xray_stop"), L"ok=true;exitCode=0;message=xray stopped");
}

TEST_F(ServiceSupervision, RuntimeLogHeldOpenWithoutSharingDoesNotFailTheStart) {
    CreateDirectoryW(kDataDirectory, nullptr);
    UniqueHandle holder(CreateFileW(kCoreRuntimeLogPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    EXPECT_EQ(StartCore(CoreConfig(L"held", R"({"stats": {"fakecore": {"stdout": "serving"}}})")),
              kStarted);
    EXPECT_EQ(Send(L"xray_stop"), L"ok=true;exitCode=0;message=xray stopped");
}

// The scenario build: a 3-second helper time-out and the service log on.
class ServiceHelperTimeout : public ServiceSupervision {
  protected:
    std::wstring ServiceProgram() const override { return ScenarioServiceExe(); }
};

TEST_F(ServiceHelperTimeout, TimeOutEndsTheHelperAndEverythingItStarted) {
    EXPECT_EQ(Send(L"route_start tree:60000"), L"ok=false;exitCode=1460;message=helper finished");
    const auto calls = StubCalls();
    ASSERT_TRUE(Eventually([] { return StubCalls().size() == 2; })) << "helper and its child ran";
    for (const std::wstring& call : StubCalls()) {
        const DWORD pid = static_cast<DWORD>(std::wcstoul(call.c_str(), nullptr, 10));
        EXPECT_FALSE(ProcessAlive(pid))
            << "left running: " << std::string(call.begin(), call.end());
    }
    EXPECT_NE(ServiceLogText().find(L"] Process timeout."), std::wstring::npos);
}

// The folders a start moved aside from the data folder's path, in full.
std::vector<std::wstring> MovedDataFolders() {
    const std::wstring parent = L"C:\\ProgramData\\";
    std::vector<std::wstring> moved;
    WIN32_FIND_DATAW found{};
    const HANDLE first = FindFirstFileW((std::wstring(kDataDirectory) + L".*").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) {
        return moved;
    }
    const UniqueFindHandle search(first);
    // "VELK-VPN.*" matches "VELK-VPN" itself too, as "name.*" always has.
    const std::wstring prefix = std::wstring(kDataDirectory).substr(parent.size()) + L".";
    do {
        const std::wstring name = found.cFileName;
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
            moved.push_back(parent + name);
        }
    } while (FindNextFileW(search.Get(), &found));
    return moved;
}

// Links first: removing a folder follows them under Wine.
void RemoveMovedDataFolders() {
    for (const std::wstring& folder : MovedDataFolders()) {
        test_support::RemoveDirectoryLinksBelow(folder);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

// A folder another account made at the data folder's path while the service
// was stopped, with a link inside, is moved aside whole as the service
// starts; the core's files go into a folder made anew, which the next start
// keeps.
TEST_F(ServiceSupervision, DataFolderPlantedWithALinkIsMovedAsideAtTheStart) {
    const std::wstring decoy = L"C:\\ProgramData\\velk-link-decoy";
    const std::wstring data = kDataDirectory;
    StopAndWait();
    RemoveMovedDataFolders();
    std::error_code ignored;
    std::filesystem::remove_all(data, ignored);
    std::filesystem::remove_all(decoy, ignored);
    ASSERT_TRUE(CreateDirectoryW(decoy.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(data + L"\\planted.txt", "planted"));
    ASSERT_TRUE(CreateDirectoryW((data + L"\\sub").c_str(), nullptr));
    ASSERT_TRUE(test_support::MakeDirectoryLink(data + L"\\sub\\x", decoy));

    StartAndWait();
    const std::vector<std::wstring> moved = MovedDataFolders();
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(ReadFileBytes(moved[0] + L"\\planted.txt"), "planted");
    EXPECT_TRUE(test_support::ListedAsLink(moved[0] + L"\\sub\\x"));
    EXPECT_EQ(GetFileAttributesW((data + L"\\sub").c_str()), INVALID_FILE_ATTRIBUTES);
    // The core's files go into the folder made anew, none where the link led.
    EXPECT_EQ(StartCore(CoreConfig(L"after the move", "{}")), kStarted);
    EXPECT_EQ(Send(L"xray_stop"), L"ok=true;exitCode=0;message=xray stopped");
    EXPECT_NE(GetFileAttributesW(kCoreRuntimeLogPath), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(kCoreConfigCopyPath), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(std::filesystem::is_empty(decoy, ignored));

    StopAndWait();
    StartAndWait();
    EXPECT_EQ(MovedDataFolders().size(), 1u) << "ours now, kept";
    EXPECT_NE(GetFileAttributesW(kCoreRuntimeLogPath), INVALID_FILE_ATTRIBUTES);
    RemoveMovedDataFolders();
    std::filesystem::remove_all(decoy, ignored);
}

}  // namespace
}  // namespace velk::scenario
