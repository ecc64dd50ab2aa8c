// The simulator's programs run for real, each case with its own state file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/process_status.h"
#include "common/unique_handle.h"
#include "tools/netsim/netsim_control.h"
#include "tools/netsim/netsim_program.h"
#include "tools/netsim/netsim_render.h"

namespace netsim {
namespace {

std::wstring BinDir() {
    std::wstring dir;
    for (const char* p = VELK_NETSIM_BIN_DIR; *p != '\0'; ++p) {
        dir += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    }
    // The build directory is a Unix path; Wine maps it under Z:.
    return (dir.size() > 1 && dir[1] == L':' ? dir : L"Z:" + dir) + L"\\";
}

struct ProgramRun {
    std::string out;
    std::string err;
    DWORD exitCode = 0;
};

// Drains one pipe on a thread of its own, so neither pipe can fill up and stall the child.
DWORD WINAPI Drain(void* context) {
    auto* job = static_cast<std::pair<HANDLE, std::string*>*>(context);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(job->first, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        job->second->append(buffer, got);
    }
    return 0;
}

bool Start(const std::wstring& commandLine, velk::UniqueHandle& process,
           velk::UniqueHandle& outRead, velk::UniqueHandle& errRead) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    velk::UniqueHandle outWrite;
    velk::UniqueHandle errWrite;
    if (!CreatePipe(outRead.Put(), outWrite.Put(), &inherit, 0) ||
        !CreatePipe(errRead.Put(), errWrite.Put(), &inherit, 0)) {
        return false;
    }
    SetHandleInformation(outRead.Get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.Get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite.Get();
    startup.hStdError = errWrite.Get();
    PROCESS_INFORMATION info{};
    std::wstring mutableLine = commandLine;
    if (!CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
        return false;
    }
    velk::UniqueHandle thread(info.hThread);
    process.Reset(info.hProcess);
    return true;
}

std::string Narrow(const std::wstring& ascii) {
    return std::string(ascii.begin(), ascii.end());
}

ProgramRun RunProgram(const std::wstring& commandLine) {
    ProgramRun run;
    velk::UniqueHandle process;
    velk::UniqueHandle outRead;
    velk::UniqueHandle errRead;
    if (!Start(commandLine, process, outRead, errRead)) {
        ADD_FAILURE() << "cannot start the program, error " << GetLastError();
        return run;
    }
    std::pair<HANDLE, std::string*> outJob{outRead.Get(), &run.out};
    std::pair<HANDLE, std::string*> errJob{errRead.Get(), &run.err};
    velk::UniqueHandle outThread(CreateThread(nullptr, 0, Drain, &outJob, 0, nullptr));
    velk::UniqueHandle errThread(CreateThread(nullptr, 0, Drain, &errJob, 0, nullptr));
    if (!outThread || !errThread) {
        ADD_FAILURE() << "cannot start the pipe readers, error " << GetLastError();
        TerminateProcess(process.Get(), 1);
    }
    bool hung = WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0;
    if (hung) {
        TerminateProcess(process.Get(), 1);
        WaitForSingleObject(process.Get(), INFINITE);
    }
    // The readers write into this frame's objects, so both are joined before
    // it ends. They finish when the last write end closes; one that a
    // grandchild still holds is cut off by cancelling the blocked read.
    for (const velk::UniqueHandle* reader : {&outThread, &errThread}) {
        if (*reader && WaitForSingleObject(reader->Get(), 60000) != WAIT_OBJECT_0) {
            hung = true;
            CancelSynchronousIo(reader->Get());
            WaitForSingleObject(reader->Get(), INFINITE);
        }
    }
    if (hung) {
        ADD_FAILURE() << "the program did not end within a minute: " << Narrow(commandLine);
        return ProgramRun();
    }
    const velk::Win32Result<std::uint32_t> code = velk::ExitCodeOf(process.Get());
    EXPECT_TRUE(code) << "the exit code cannot be read: " << Narrow(commandLine);
    run.exitCode = code ? code.value() : run.exitCode;
    return run;
}

class NetsimPrograms : public testing::Test {
  protected:
    void SetUp() override {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        std::wstring name;
        for (const char* p = info->name(); *p != '\0'; ++p) {
            name += static_cast<wchar_t>(*p);
        }
        statePath_ = std::wstring(dir) + L"netsim-" + std::to_wstring(GetCurrentProcessId()) +
                     L"-" + name + L".txt";
        DeleteFileW(statePath_.c_str());
        SetEnvironmentVariableW(L"VELK_NETSIM_STATE", statePath_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"VELK_NETSIM_STATE", nullptr);
        DeleteFileW(statePath_.c_str());
    }
    Machine State() {
        Machine machine;
        std::wstring error;
        EXPECT_TRUE(LoadMachine(statePath_, machine, error))
            << std::string(error.begin(), error.end());
        return machine;
    }
    std::wstring statePath_;
};

TEST_F(NetsimPrograms, RoutePrintWritesTheListingWithSingleCrLf) {
    const ProgramRun run = RunProgram(L"\"" + BinDir() + L"route.exe\" print -4");
    Machine home;
    ASSERT_TRUE(MakeScenario(L"home", home));
    EXPECT_EQ(run.out, Narrow(RenderRoutePrint(home)));
    EXPECT_EQ(run.out.find("\r\r"), std::string::npos);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0u);
}

TEST_F(NetsimPrograms, CommandsThroughTheCommandInterpreterChangeTheSavedTable) {
    // Unquoted, as the helper runs it: cmd.exe would strip a leading quote
    // and the last one of the line.
    const std::wstring route = L"cmd.exe /C " + BinDir() + L"route.exe ";
    const std::wstring add = L"add 203.0.113.7 mask 255.255.255.255 192.168.1.1 if 12 metric 1";
    EXPECT_EQ(RunProgram(route + add).out, " OK!\r\n");
    EXPECT_EQ(RunProgram(route + add).out,
              "The route addition failed: The object already exists.\r\n\r\n");
    EXPECT_EQ(RunProgram(route + L"delete 0.0.0.0 mask 0.0.0.0 192.168.1.1").out, " OK!\r\n");
    const ProgramRun usage = RunProgram(route + L"add 203.0.113.8");
    EXPECT_EQ(usage.out, "");
    EXPECT_NE(usage.err.find("ROUTE [-f] [-p] [-4|-6] command"), std::string::npos);

    const Machine machine = State();
    const std::vector<std::wstring> journal = {L"route " + add, L"route " + add,
                                               L"route delete 0.0.0.0 mask 0.0.0.0 192.168.1.1",
                                               L"route add 203.0.113.8"};
    EXPECT_EQ(machine.journal, journal);
    int bypass = 0;
    for (const Route& r : machine.routes) {
        EXPECT_NE(r.destination, L"0.0.0.0");
        bypass += r.destination == L"203.0.113.7" ? 1 : 0;
    }
    EXPECT_EQ(bypass, 1);
}

TEST_F(NetsimPrograms, PowerShellQueryAsTheHelperComposesIt) {
    const std::wstring query = L"cmd.exe /C " + BinDir() +
                               L"powershell.exe -NoProfile -WindowStyle Hidden -Command \"" +
                               UplinkQueryScript(L"192.168.1.23") + L"\"";
    EXPECT_EQ(RunProgram(query).out, "12\r\n");
    const ProgramRun other =
        RunProgram(L"\"" + BinDir() + L"powershell.exe\" -Command Get-NetRoute");
    EXPECT_EQ(other.out, "");
    EXPECT_NE(other.err, "");
}

TEST_F(NetsimPrograms, ControlProgramSetsUpTheTunnelAndTheLanguage) {
    const std::wstring netsim = L"\"" + BinDir() + L"netsim.exe\" ";
    const std::wstring netsh = L"\"" + BinDir() + L"netsh.exe\" interface ipv4 show interfaces";
    EXPECT_EQ(RunProgram(netsim + L"tunnel-after 1").exitCode, 0u);
    EXPECT_EQ(RunProgram(netsh).out.find("velk_vpn0"), std::string::npos);
    EXPECT_NE(
        RunProgram(netsh).out.find(" 45           5        1420  connected     velk_vpn0\r\n"),
        std::string::npos);

    // Each language arrives in its console code page, not as UTF-8: the
    // a-umlaut as one byte of code page 850, Cyrillic of 866, Chinese of 936.
    const struct {
        const wchar_t* language;
        const char* bytes;
    } kListings[] = {
        {L"de", "St\x84ndige Routen:\r\n  Keine\r\n"},
        {L"ru", "\x80\xAA\xE2\xA8\xA2\xAD\xEB\xA5 \xAC\xA0\xE0\xE8\xE0\xE3\xE2\xEB:\r\n"},
        {L"zh", "\xBB\xEE\xB6\xAF\xC2\xB7\xD3\xC9:\r\n"},
    };
    for (const auto& expected : kListings) {
        EXPECT_EQ(RunProgram(netsim + L"language " + expected.language).exitCode, 0u);
        const std::string listing = RunProgram(L"\"" + BinDir() + L"route.exe\" print -4").out;
        EXPECT_NE(listing.find(expected.bytes), std::string::npos) << Narrow(expected.language);
    }

    const ProgramRun refused = RunProgram(netsim + L"language xx");
    EXPECT_EQ(refused.exitCode, 2u);
    EXPECT_NE(refused.err.find("usage: netsim"), std::string::npos);
}

TEST_F(NetsimPrograms, SlowMachineToolsAnswerAfterTheDelay) {
    const std::wstring netsim = L"\"" + BinDir() + L"netsim.exe\" ";
    ASSERT_EQ(RunProgram(netsim + L"delay 700").exitCode, 0u);
    for (const wchar_t* tool :
         {L"route.exe\" print -4", L"netsh.exe\" interface ipv4 show interfaces"}) {
        const ULONGLONG started = GetTickCount64();
        const ProgramRun run = RunProgram(L"\"" + BinDir() + tool);
        EXPECT_GE(GetTickCount64() - started, 700u) << Narrow(tool);
        EXPECT_EQ(run.exitCode, 0u) << Narrow(tool);
        EXPECT_NE(run.out, "") << Narrow(tool);
    }
    EXPECT_EQ(State().toolDelayMs, 700);
}

TEST_F(NetsimPrograms, ConcurrentCommandsLoseNoChange) {
    const int kCommands = 12;
    std::vector<velk::UniqueHandle> processes;
    for (int i = 0; i < kCommands; ++i) {
        std::wstring line = L"\"" + BinDir() + L"route.exe\" add 198.51.100." + std::to_wstring(i) +
                            L" mask 255.255.255.255 192.168.1.1 if 12 metric 1";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                   nullptr, nullptr, &startup, &info));
        velk::UniqueHandle thread(info.hThread);
        processes.emplace_back(info.hProcess);
    }
    for (const velk::UniqueHandle& process : processes) {
        WaitForSingleObject(process.Get(), 60000);
    }
    int added = 0;
    for (const Route& r : State().routes) {
        added += r.destination.rfind(L"198.51.100.", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(added, kCommands);
}

}  // namespace
}  // namespace netsim
