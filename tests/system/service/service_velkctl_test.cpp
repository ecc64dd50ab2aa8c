// velkctl.exe against the real service, and against a pipe of the same name
// that the service does not serve.
#include <atomic>
#include <future>

#include "tests/system/service/service_scenario.h"

namespace velk::scenario {
namespace {

struct ProgramRun {
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

UniqueHandle InheritableFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

ProgramRun RunVelkctl(const std::wstring& arguments) {
    // Fresh files for every run: a just-ended child's handles may linger.
    static int runs = 0;
    const std::wstring base = std::wstring(kStubDirectory) + L"\\velkctl-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++runs);
    const std::wstring outPath = base + L".out";
    const std::wstring errPath = base + L".err";
    ProgramRun run;
    {
        UniqueHandle out = InheritableFile(outPath);
        UniqueHandle err = InheritableFile(errPath);
        if (!out || !err) {
            ADD_FAILURE() << "cannot create the output files: " << GetLastError();
            return run;
        }
        std::wstring commandLine = L"\"" + WindowsPath(VELK_VELKCTL_EXE) + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.Get();
        startup.hStdError = err.Get();
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                            nullptr, nullptr, &startup, &info)) {
            ADD_FAILURE() << "velkctl did not start: " << GetLastError();
            return run;
        }
        UniqueHandle process(info.hProcess);
        UniqueHandle thread(info.hThread);
        EXPECT_EQ(WaitForSingleObject(process.Get(), kHangGuardMs), WAIT_OBJECT_0);
        GetExitCodeProcess(process.Get(), &run.exitCode);
    }
    run.out = ReadFileBytes(outPath);
    run.err = ReadFileBytes(errPath);
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    return run;
}

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
            [&](const std::wstring&) {
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
