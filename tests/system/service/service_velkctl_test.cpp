// velkctl.exe against the real service, and against a pipe of the same name
// that the service does not serve.
#include <atomic>
#include <future>

#include "tests/system/service/service_scenario.h"
#include "tests/system/service/velkctl_run.h"

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

TEST_F(ServiceVelkctl, RefusesAPipeTheServiceDoesNotServe) {
    // The service is installed but stopped; this process takes its pipe name.
    std::atomic<int> served{0};
    UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto squatter = std::async(std::launch::async, [&] {
        RunPipeServer(
            stop.Get(),
            [&](const std::wstring&, HANDLE) {
                ++served;
                return std::wstring(L"ok=true;exitCode=0;message=service running");
            },
            [](const std::wstring&) {});
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
