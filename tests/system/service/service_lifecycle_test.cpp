// Start, stop and the program entry of the real service.
#include <future>

#include "common/process_status.h"
#include "tests/system/service/service_scenario.h"

namespace velk::scenario {
namespace {

using ServiceLifecycle = ServiceScenario;

TEST_F(ServiceLifecycle, StartsToRunningAndStopsToStoppedWhileIdle) {
    StartAndWait();
    const SERVICE_STATUS_PROCESS running = Query();
    EXPECT_EQ(running.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(running.dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_STOP));
    EXPECT_EQ(running.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(Send(L"status"), L"ok=true;exitCode=0;message=service running");
    SERVICE_STATUS interrogated{};
    EXPECT_TRUE(ControlService(service_.Get(), SERVICE_CONTROL_INTERROGATE, &interrogated));
    EXPECT_EQ(interrogated.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(Send(L"status"), L"ok=true;exitCode=0;message=service running");
    const DWORD pid = running.dwProcessId;
    StopAndWait();
    const SERVICE_STATUS_PROCESS stopped = Query();
    EXPECT_EQ(stopped.dwWin32ExitCode, 0u);
    EXPECT_EQ(stopped.dwCheckPoint, 0u);
    EXPECT_TRUE(Eventually([&] { return !ProcessAlive(pid); })) << "the service process ends";
    // No pipe is left behind.
    EXPECT_FALSE(OpenPipeAsClient(kPipeName).ok());
}

TEST_F(ServiceLifecycle, StartedFromAConsoleEndsWithCodeOne) {
    std::wstring commandLine = L"\"" + ServiceExe() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info));
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    ASSERT_EQ(WaitForSingleObject(process.Get(), kHangGuardMs), WAIT_OBJECT_0);
    const Win32Result<std::uint32_t> code = ExitCodeOf(process.Get());
    ASSERT_TRUE(code);
    EXPECT_EQ(code.value(), 1u);
}

// A route state file at start means the machine was left routed into a
// tunnel whose core is gone; at a stop, the core is going. Either way the
// helper puts the saved routing back (the stand-in records its run, and
// leaves the file, so the stop finds it too).
TEST_F(ServiceLifecycle, SavedRoutingIsRestoredAtStartBeforeRunningAndAtStop) {
    // UTF-16LE lines: gateway, interface index, server.
    const std::wstring record = L"192.168.1.1\n12\n203.0.113.7\n";
    ASSERT_TRUE(WriteFileBytes(netsteer::kStateFilePath,
                               std::string(reinterpret_cast<const char*>(record.data()),
                                           record.size() * sizeof(wchar_t))));
    const std::string helperLogBefore = ReadFileBytes(netsteer::kHelperLogPath);
    auto calls = [] {
        std::vector<std::wstring> actions;
        for (const std::wstring& line : StubCalls()) {
            actions.push_back(line.substr(line.find(L' ') + 1));
        }
        return actions;
    };

    StartAndWait();
    EXPECT_EQ(calls(), std::vector<std::wstring>{L"stop 203.0.113.7"}) << "before RUNNING";
    StopAndWait();
    EXPECT_EQ(calls(), (std::vector<std::wstring>{L"stop 203.0.113.7", L"stop 203.0.113.7"}));
    const std::string helperLog =
        ReadFileBytes(netsteer::kHelperLogPath).substr(helperLogBefore.size());
    for (const char* line :
         {"] [SERVICE] restoring the saved routing at service start: netsteer stop 203.0.113.7",
          "] [SERVICE] restoring the saved routing at service stop: netsteer stop 203.0.113.7",
          "] [SERVICE] saved routing restored (netsteer stop returned 0)"}) {
        EXPECT_NE(helperLog.find(line), std::string::npos) << line;
    }

    // Without a state file nothing is run.
    DeleteFileW(netsteer::kStateFilePath);
    StartAndWait();
    StopAndWait();
    EXPECT_EQ(calls().size(), 2u);
}

// The scenario build writes the service log, so the order of the steps can be
// read back, and sets no stall bound on clients.
class ServiceLifecycleLogged : public ServiceScenario {
  protected:
    std::wstring ServiceProgram() const override { return ScenarioServiceExe(); }
};

TEST_F(ServiceLifecycleLogged, StopsWhileAClientHoldsItsConnection) {
    // This build has no stall bound, so the client's wait can end only by the
    // stop: a service that ignored it would never reach STOPPED.
    // (A client that has taken its answer is let go at once; see the pipe
    // scenarios.)
    for (const char* name : {"connected and silent", "connected and silent, again"}) {
        StartAndWait();
        UniqueHandle client = ConnectToService();
        ASSERT_TRUE(client) << name;
        Sleep(200);
        EXPECT_TRUE(test_support::StillConnected(client.Get())) << name << ": held until the stop";
        SendStop();
        const bool stopped = WaitForState(SERVICE_STOPPED);
        const bool droppedByService = !test_support::StillConnected(client.Get());
        client.Reset();
        ASSERT_TRUE(stopped) << name << ": STOPPED reached while the client held on";
        EXPECT_TRUE(droppedByService) << name << ": the service let the client go";
    }
}

TEST_F(ServiceLifecycleLogged, StopDuringALongHelperRunAnswersItFirst) {
    StartAndWait();
    auto answer = std::async(std::launch::async, [] { return Send(L"route_start sleep:2500"); });
    ASSERT_TRUE(Eventually([] { return !StubCalls().empty(); })) << "the helper runs";
    const SERVICE_STATUS pending = SendStop();
    EXPECT_EQ(pending.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_GE(pending.dwWaitHint, kServicePendingWaitHintMs);
    // While the helper finishes, the control manager sees progress: the
    // checkpoint moves and the hint covers what may still be waited for.
    DWORD lastCheckPoint = 0;
    int advances = 0;
    while (answer.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        const SERVICE_STATUS_PROCESS now = Query();
        if (now.dwCurrentState == SERVICE_STOP_PENDING && now.dwCheckPoint > lastCheckPoint) {
            ++advances;
            lastCheckPoint = now.dwCheckPoint;
            EXPECT_GE(now.dwWaitHint, kServicePendingWaitHintMs) << "checkpoint " << lastCheckPoint;
        }
    }
    EXPECT_GE(advances, 2) << "the checkpoint advanced while the helper ran";
    ASSERT_EQ(answer.wait_for(std::chrono::milliseconds(kHangGuardMs)), std::future_status::ready);
    EXPECT_EQ(answer.get(), L"ok=true;exitCode=0;message=helper finished");
    ASSERT_TRUE(WaitForState(SERVICE_STOPPED));

    const std::wstring log = ServiceLogText();
    const wchar_t* const order[] = {
        L"] VelkVPNService started.",
        L"] Pipe server loop started.",
        L"] Received command: route_start sleep:2500",
        L"] Service stop requested.",
        L"] Response: ok=true;exitCode=0;message=helper finished",
        L"] Pipe server loop stopped.",
        L"] [XRAY] stop requested, but no xray process exists.",
        L"] VelkVPNService stopped.",
    };
    std::size_t at = 0;
    for (const wchar_t* step : order) {
        const std::size_t found = log.find(step, at);
        ASSERT_NE(found, std::wstring::npos)
            << "missing or out of order: " << std::string(step, step + wcslen(step));
        at = found;
    }
}

TEST_F(ServiceLifecycleLogged, StopWhileIdleLogsNoRequest) {
    StartAndWait();
    StopAndWait();
    const std::wstring log = ServiceLogText();
    const std::size_t requested = log.find(L"] Service stop requested.");
    const std::size_t stopped = log.find(L"] Pipe server loop stopped.");
    ASSERT_NE(requested, std::wstring::npos);
    ASSERT_NE(stopped, std::wstring::npos);
    EXPECT_LT(requested, stopped);
    EXPECT_EQ(log.find(L"Received command: "), std::wstring::npos)
        << "the control handler's wake-up connection is not a request";
}

}  // namespace
}  // namespace velk::scenario
