// ServiceMain and the control handler driven by a stand-in control manager
// that keeps the real threads: ServiceMain on one, controls on another.
#include "service/host/service_host.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <vector>

#include "common/unique_handle.h"

namespace velk {
namespace {

// Everything the host does, in the order it happened, one line each.
class Recorder {
  public:
    void Add(const std::wstring& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
    }
    std::vector<std::wstring> Lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

  private:
    std::mutex mutex_;
    std::vector<std::wstring> lines_;
};

class RecordingOperations : public CommandOperations {
  public:
    explicit RecordingOperations(Recorder& recorder) : recorder_(recorder) {}
    XrayStatus QueryXrayStatus() override { return {}; }
    CoreSessionHolder CoreSession() override { return {}; }
    CoreStartOutcome StartXray(const std::wstring&, const CallerReadAccess&,
                               const std::wstring&) override {
        return {};
    }
    OpResult StopXray() override {
        recorder_.Add(L"StopXray");
        return {true, 0};
    }
    OpResult RunHelperProcess(const std::wstring&, const std::wstring&, std::uint32_t) override {
        return {};
    }
    std::wstring ReadCoreLogTail(CoreLog, std::int64_t) override { return {}; }
    std::wstring GetModuleDirectory() override { return {}; }

  private:
    Recorder& recorder_;
};

std::wstring Describe(const SERVICE_STATUS& s) {
    return L"status type=" + std::to_wstring(s.dwServiceType) + L" state=" +
           std::to_wstring(s.dwCurrentState) + L" accepted=" +
           std::to_wstring(s.dwControlsAccepted) + L" exit=" + std::to_wstring(s.dwWin32ExitCode) +
           L" specific=" + std::to_wstring(s.dwServiceSpecificExitCode) + L" checkpoint=" +
           std::to_wstring(s.dwCheckPoint) + L" hint=" + std::to_wstring(s.dwWaitHint);
}

const auto kHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(0x1234);

class ServiceHostTest : public ::testing::Test {
  protected:
    ServiceHostPlatform Platform() {
        ServiceHostPlatform p;
        p.startDispatcher = [](const SERVICE_TABLE_ENTRYW*) { return FALSE; };
        p.registerHandler = [this](const wchar_t* name, LPHANDLER_FUNCTION_EX) {
            recorder_.Add(std::wstring(L"register ") + name);
            return registerFails_ ? nullptr : kHandle;
        };
        p.setStatus = [this](SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) {
            EXPECT_EQ(handle, kHandle);
            recorder_.Add(Describe(status));
        };
        p.createStopEvent = [this]() -> HANDLE {
            if (eventFails_) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            return CreateEventW(nullptr, TRUE, FALSE, nullptr);
        };
        p.runPipeServer = [this](HANDLE stopEvent, const std::function<void()>& onceListening) {
            recorder_.Add(L"pipe server started");
            onceListening();
            SetEvent(running_.Get());
            WaitForSingleObject(stopEvent, INFINITE);
            recorder_.Add(L"pipe server ended");
        };
        p.log = [this](const std::wstring& line) { recorder_.Add(L"log " + line); };
        // With a saved routing, netsteer's run reports progress twice.
        p.restoreSavedRouting = [this](RouteRestoreSettings settings) {
            recorder_.Add(L"restore " + settings.occasion);
            if (!routingSaved_) {
                return RouteRestoreResult{};
            }
            settings.progress(5000);
            settings.progress(4000);
            settings.log(L"saved routing restored");
            return RouteRestoreResult{RouteRestoreOutcome::kRestored, 0, L"", L"203.0.113.7"};
        };
        p.restoreLog = [this](const std::wstring& line) { recorder_.Add(L"restore log " + line); };
        p.prepareDataFolder = [this]() -> Win32Status {
            recorder_.Add(L"data folder prepared");
            return Done{};
        };
        p.events = [this](ServiceEvent event, const std::vector<std::wstring>& inserts) {
            std::wstring line = L"event " + std::to_wstring(static_cast<int>(event));
            for (const std::wstring& insert : inserts) {
                line += L" " + insert;
            }
            recorder_.Add(line);
        };
        return p;
    }

    Recorder recorder_;
    RecordingOperations operations_{recorder_};
    UniqueHandle running_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool registerFails_ = false;
    bool eventFails_ = false;
    bool routingSaved_ = false;
};

const std::wstring kStartPending =
    L"status type=16 state=2 accepted=0 exit=0 specific=0 checkpoint=0 hint=3000";
const std::wstring kRunning =
    L"status type=16 state=4 accepted=1 exit=0 specific=0 checkpoint=0 hint=0";
const std::wstring kStopPending =
    L"status type=16 state=3 accepted=1 exit=0 specific=0 checkpoint=0 hint=3000";
// The core may take its whole termination wait to end.
const std::wstring kStopProgressBeforeCore =
    L"status type=16 state=3 accepted=1 exit=0 specific=0 checkpoint=1 hint=8000";
const std::wstring kStopped =
    L"status type=16 state=1 accepted=1 exit=0 specific=0 checkpoint=0 hint=0";

TEST_F(ServiceHostTest, RunsAndStopsInTheFixedOrder) {
    const ServiceHostRun run(Platform(), operations_);
    auto serviceThread = std::async(std::launch::async, [] { ServiceMain(0, nullptr); });
    ASSERT_EQ(WaitForSingleObject(running_.Get(), 30000), WAIT_OBJECT_0);
    // Controls other than stop change nothing; those the service does not
    // handle are answered so, and an interrogation is answered all the same.
    EXPECT_EQ(ServiceControlHandler(SERVICE_CONTROL_INTERROGATE, 0, nullptr, nullptr),
              static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(ServiceControlHandler(SERVICE_CONTROL_SHUTDOWN, 0, nullptr, nullptr),
              static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(ServiceControlHandler(SERVICE_CONTROL_PAUSE, 0, nullptr, nullptr),
              static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr),
              static_cast<DWORD>(NO_ERROR));
    ASSERT_EQ(serviceThread.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(recorder_.Lines(), (std::vector<std::wstring>{
                                     L"register VelkVPNService",
                                     kStartPending,
                                     L"log VelkVPNService started.",
                                     L"pipe server started",
                                     L"data folder prepared",
                                     L"restore at service start",
                                     kRunning,
                                     L"event 1",
                                     L"log Service stop requested.",
                                     kStopPending,
                                     L"pipe server ended",
                                     kStopProgressBeforeCore,
                                     L"StopXray",
                                     L"restore at service stop",
                                     L"log VelkVPNService stopped.",
                                     L"event 2",
                                     kStopped,
                                 }));
    // A stop after STOPPED is logged, and no status follows: a service never
    // goes back from STOPPED.
    EXPECT_EQ(ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr),
              static_cast<DWORD>(NO_ERROR));
    const auto lines = recorder_.Lines();
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[17], L"log Service stop requested.");
}

// The data folder is made ours and the routing put back once the pipe holds
// its name and before any request can use or change them, with the control
// manager told of the restore's progress; at a stop, the routing only once
// the core is gone.
TEST_F(ServiceHostTest, SavedRoutingIsRestoredOnceThePipeHoldsItsNameAndAfterTheCore) {
    routingSaved_ = true;
    const ServiceHostRun run(Platform(), operations_);
    auto serviceThread = std::async(std::launch::async, [] { ServiceMain(0, nullptr); });
    ASSERT_EQ(WaitForSingleObject(running_.Get(), 30000), WAIT_OBJECT_0);
    ServiceControlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
    ASSERT_EQ(serviceThread.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    auto pending = [](int state, int checkPoint, int hint) {
        return L"status type=16 state=" + std::to_wstring(state) + L" accepted=" +
               std::to_wstring(state == 2 ? 0 : 1) + L" exit=0 specific=0 checkpoint=" +
               std::to_wstring(checkPoint) + L" hint=" + std::to_wstring(hint);
    };
    EXPECT_EQ(recorder_.Lines(), (std::vector<std::wstring>{
                                     L"register VelkVPNService",
                                     kStartPending,
                                     L"log VelkVPNService started.",
                                     L"pipe server started",
                                     L"data folder prepared",
                                     L"restore at service start",
                                     pending(2, 1, 8000),
                                     pending(2, 2, 7000),
                                     L"restore log saved routing restored",
                                     L"event 7 203.0.113.7 0",
                                     kRunning,
                                     L"event 1",
                                     L"log Service stop requested.",
                                     kStopPending,
                                     L"pipe server ended",
                                     pending(3, 3, 8000),
                                     L"StopXray",
                                     L"restore at service stop",
                                     pending(3, 4, 8000),
                                     pending(3, 5, 7000),
                                     L"restore log saved routing restored",
                                     L"event 7 203.0.113.7 0",
                                     L"log VelkVPNService stopped.",
                                     L"event 2",
                                     kStopped,
                                 }));
}

TEST_F(ServiceHostTest, FailedRegistrationReportsNothing) {
    registerFails_ = true;
    const ServiceHostRun run(Platform(), operations_);
    ServiceMain(0, nullptr);
    EXPECT_EQ(recorder_.Lines(), std::vector<std::wstring>{L"register VelkVPNService"});
}

TEST_F(ServiceHostTest, FailedStopEventReportsStoppedWithItsError) {
    eventFails_ = true;
    const ServiceHostRun run(Platform(), operations_);
    ServiceMain(0, nullptr);
    EXPECT_EQ(recorder_.Lines(),
              (std::vector<std::wstring>{
                  L"register VelkVPNService", kStartPending, L"log CreateEventW failed. Error=8",
                  L"status type=16 state=1 accepted=1 exit=8 specific=0 checkpoint=0 hint=0"}));
}

TEST_F(ServiceHostTest, ProgramExitCodeTellsWhetherTheControlManagerRanIt) {
    struct Case {
        BOOL dispatcherResult;
        int exitCode;
        std::vector<std::wstring> lines;
    };
    const Case cases[] = {
        {TRUE, 0, {}},
        {FALSE, 1, {L"log This executable must be run as a Windows Service."}},
    };
    for (const Case& c : cases) {
        Recorder recorder;
        RecordingOperations operations(recorder);
        ServiceHostPlatform platform = Platform();
        platform.log = [&](const std::wstring& line) { recorder.Add(L"log " + line); };
        platform.startDispatcher = [&](const SERVICE_TABLE_ENTRYW* table) {
            EXPECT_EQ(std::wstring(table[0].lpServiceName), L"VelkVPNService");
            EXPECT_EQ(table[0].lpServiceProc, &ServiceMain);
            EXPECT_EQ(table[1].lpServiceName, nullptr);
            return c.dispatcherResult;
        };
        EXPECT_EQ(RunServiceProgram(platform, operations), c.exitCode);
        EXPECT_EQ(recorder.Lines(), c.lines);
    }
}

}  // namespace
}  // namespace velk
