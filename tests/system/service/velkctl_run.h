#pragma once
// Runs velkctl.exe as a user would, with its output caught in files.
#include "common/process_status.h"
#include "tests/support/restricted_token.h"
#include "tests/system/service/service_scenario.h"

namespace velk::scenario {

struct ProgramRun {
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

inline UniqueHandle InheritableFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// As this process's user, or (`restricted`) as that user without
// Administrators: an ordinary account that is in no group of ours.
inline ProgramRun RunVelkctl(const std::wstring& arguments, bool restricted = false) {
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
        const UniqueHandle token = restricted ? test_support::RestrictedToken() : UniqueHandle();
        if (restricted && !token) {
            ADD_FAILURE() << "no restricted token: " << GetLastError();
            return run;
        }
        // CreateProcessWithTokenW would ignore the token under Wine.
        const BOOL started =
            restricted
                ? CreateProcessAsUserW(token.Get(), nullptr, commandLine.data(), nullptr, nullptr,
                                       TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)
                : CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                 CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
        if (!started) {
            ADD_FAILURE() << "velkctl did not start: " << GetLastError();
            return run;
        }
        UniqueHandle process(info.hProcess);
        UniqueHandle thread(info.hThread);
        EXPECT_EQ(WaitForSingleObject(process.Get(), kHangGuardMs), WAIT_OBJECT_0);
        const Win32Result<std::uint32_t> code = ExitCodeOf(process.Get());
        EXPECT_TRUE(code) << "velkctl's exit code cannot be read";
        run.exitCode = code ? code.value() : run.exitCode;
    }
    run.out = ReadFileBytes(outPath);
    run.err = ReadFileBytes(errPath);
    DeleteFileW(outPath.c_str());
    DeleteFileW(errPath.c_str());
    return run;
}

}  // namespace velk::scenario
