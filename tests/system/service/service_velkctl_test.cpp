// velkctl.exe against the real service, and against a pipe of the same name
// that the service does not serve.
#include <atomic>
#include <future>

#include "tests/system/service/service_scenario.h"
#include "tests/system/service/velkctl_run.h"
#include "tests/support/request_handler_from.h"

namespace velk::scenario {
namespace {

class ServiceVelkctl : public ServiceScenario {};

TEST_F(ServiceVelkctl, ReportsTheServiceAnswerAndItsExitCode) {
    StartAndWait();
    struct Case {
        const wchar_t* arguments;
        DWORD exitCode;
        const char* out;
    };
    const Case cases[] = {
        {L"status", 0, "ok=true;exitCode=0;message=service running\r\n"},
        {L"--json xray_status", 0,
         "{\"ok\":true,\"exitCode\":0,\"running\":false,\"message\":\"xray status\"}\r\n"},
        {L"route_start exit:4", 1, "ok=false;exitCode=4;message=helper finished\r\n"},
        {L"--raw \"route_start\"", 1, "ok=false;exitCode=-3;message=missing serverHost\r\n"},
        {L"--wait 20000 route_stop exit:0", 0, "ok=true;exitCode=0;message=helper finished\r\n"},
        {L"no_such_action", 2, ""},
    };
    for (const Case& c : cases) {
        const ProgramRun run = RunVelkctl(c.arguments);
        const std::wstring name = c.arguments;
        EXPECT_EQ(run.exitCode, c.exitCode) << std::string(name.begin(), name.end());
        EXPECT_EQ(run.out, c.out) << std::string(name.begin(), name.end());
    }
}

// While the service puts a saved routing back at its start, its pipe already
// holds the name: nobody else can serve it, and a client that comes then is
// answered once the restore is done, within velkctl's wait.
TEST_F(ServiceVelkctl, ThePipeHoldsItsNameWhileTheRoutingIsRestoredAtStart) {
    const std::wstring record = L"192.168.1.1\n12\n203.0.113.7\n";
    ASSERT_TRUE(WriteFileBytes(netsteer::kStateFilePath,
                               std::string(reinterpret_cast<const char*>(record.data()),
                                           record.size() * sizeof(wchar_t))));
    CreateDirectoryW(kStubDirectory, nullptr);
    ASSERT_TRUE(WriteFileBytes(kStubDelayPath, "4000"));
    ASSERT_TRUE(StartServiceW(service_.Get(), 0, nullptr)) << GetLastError();
    // The restore has begun: the helper has recorded its run.
    ASSERT_TRUE(Eventually([] { return !StubCalls().empty(); }));
    EXPECT_EQ(Query().dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));

    const UniqueHandle squatter(CreateNamedPipeW(kPipeName, PIPE_ACCESS_DUPLEX,
                                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                                                 PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr));
    const DWORD squatError = GetLastError();
    EXPECT_FALSE(squatter) << "another server of the name was made during the restore";
    EXPECT_TRUE(squatError == ERROR_ACCESS_DENIED || squatError == ERROR_PIPE_BUSY) << squatError;

    const ProgramRun run = RunVelkctl(L"status");
    EXPECT_EQ(run.out, "ok=true;exitCode=0;message=service running\r\n") << run.err;
    EXPECT_EQ(Query().dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    DeleteFileW(kStubDelayPath);
    StopAndWait();
}

TEST_F(ServiceVelkctl, AnAccountOutsideTheGroupIsAnsweredStatusOnly) {
    StartAndWait();
    const std::wstring pidPath = std::wstring(kStubDirectory) + L"\\core.pid";
    const std::wstring config = std::wstring(kStubDirectory) + L"\\access core.json";
    DeleteFileW(pidPath.c_str());
    ASSERT_TRUE(WriteFileBytes(
        config,
        R"({"stats": {"fakecore": {"pid_file": "C:\\ProgramData\\velk-stub-helper\\core.pid"}}})"));
    const std::wstring startCore = L"xray_start \"" + config + L"\"";
    const std::string denied = "ok=false;exitCode=5;message=access denied\r\n";
    struct Case {
        std::wstring arguments;
        DWORD exitCode;
        std::string out;
    };
    const Case cases[] = {
        {L"status", 0, "ok=true;exitCode=0;message=service running\r\n"},
        {L"xray_status", 0, "ok=true;exitCode=0;running=false;message=xray status\r\n"},
        {startCore, 1, denied},
        {L"xray_stop", 1, denied},
        {L"xray_last_error", 1, denied},
        {L"route_start exit:0", 1, denied},
        {L"route_stop exit:0", 1, denied},
    };
    for (const Case& c : cases) {
        const ProgramRun run = RunVelkctl(c.arguments, true);
        const std::string name(c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(run.exitCode, c.exitCode) << name;
        EXPECT_EQ(run.out, c.out) << name << run.err;
    }
    EXPECT_TRUE(StubCalls().empty()) << "the helper ran";
    EXPECT_EQ(Send(L"xray_status"), L"ok=true;exitCode=0;running=false;message=xray status");
    EXPECT_TRUE(ReadFileBytes(pidPath).empty()) << "a core ran";

    // The account's own, unrestricted client is served as before.
    EXPECT_EQ(RunVelkctl(startCore).out, "ok=true;exitCode=0;message=xray start finished\r\n");
    EXPECT_EQ(RunVelkctl(L"route_start exit:0").out,
              "ok=true;exitCode=0;message=helper finished\r\n");
    EXPECT_EQ(StubCalls().size(), 1u);
    EXPECT_EQ(RunVelkctl(L"xray_stop").out, "ok=true;exitCode=0;message=xray stopped\r\n");
}

TEST_F(ServiceVelkctl, RefusesAPipeTheServiceDoesNotServe) {
    // The service is installed but stopped; this process takes its pipe name.
    std::atomic<int> served{0};
    UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto squatter = std::async(std::launch::async, [&] {
        test_support::RequestHandlerFrom impostor([&](const std::wstring&, HANDLE) {
            ++served;
            return std::wstring(L"ok=true;exitCode=0;message=service running");
        });
        RunPipeServer(stop.Get(), impostor, [](const std::wstring&) {});
    });
    ASSERT_TRUE(Eventually([] { return WaitNamedPipeW(kPipeName, 0) != FALSE; }));
    const ProgramRun run = RunVelkctl(L"status");
    SetEvent(stop.Get());
    squatter.wait();
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("refused"), std::string::npos) << run.err;
    EXPECT_EQ(served.load(), 0) << "nothing was sent to the impostor";
}

}  // namespace
}  // namespace velk::scenario
