#include "netsteer/machine/helper_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/unit/common/log_file_fixture.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>

#include "common/unique_handle.h"
#endif

namespace netsteer {
namespace {

using velk::test_files::kEol;

// The helper log on a temporary file and a counting fixed clock.
class HelperLogTest : public velk::test_files::LogFileTest {
  protected:
    HelperLogTest() : LogFileTest(HelperLogTarget(), "velk-helper-log", {2026, 3, 7, 9, 5, 3}) {}
};

TEST_F(HelperLogTest, EntryForEveryMessage) {
    WriteLog(L"Tunnel index found");
    SetClock({2027, 1, 1, 0, 0, 0});
    WriteLog(L"RETURN 0: start done");
    SetClock({2026, 12, 31, 23, 59, 59});
    WriteLog(L"");
    EXPECT_EQ(clockReads_, 3);
    EXPECT_EQ(file_.ReadBytes(), "[2026-03-07 09:05:03] Tunnel index found" + kEol +
                                     "[2027-01-01 00:00:00] RETURN 0: start done" + kEol +
                                     "[2026-12-31 23:59:59] " + kEol);
}

TEST_F(HelperLogTest, MultiLineMessageStandsAsItIs) {
    WriteLog(L"No tunnel in:\r\nIdx  Name\n 1   Loopback\n");
    WriteLog(L"next");
    EXPECT_EQ(file_.ReadBytes(), "[2026-03-07 09:05:03] No tunnel in:\r" + kEol + "Idx  Name" +
                                     kEol + " 1   Loopback" + kEol + kEol +
                                     "[2026-03-07 09:05:03] next" + kEol);
}

TEST_F(HelperLogTest, WideCharactersDoNotCutTheEntry) {
    // A localised interface name, then a later entry that must start a line.
    WriteLog(L"Tunnel not found: \u0421\u0435\u0442\u044c 2 caf\u00E9");
    WriteLog(L"RETURN 3: tunnel not found");
    EXPECT_EQ(file_.ReadBytes(), "[2026-03-07 09:05:03] Tunnel not found: ???? 2 caf\xE9" + kEol +
                                     "[2026-03-07 09:05:03] RETURN 3: tunnel not found" + kEol);
}

TEST_F(HelperLogTest, FollowsEntriesOfEarlierRuns) {
    {
        std::ofstream earlier(std::filesystem::path(file_.WidePath()), std::ios::binary);
        earlier << "[2026-03-07 09:00:00] Stop Ended .... return 0" << kEol;
    }
    AppendLogFile(L"second run");
    EXPECT_EQ(file_.ReadBytes(), "[2026-03-07 09:00:00] Stop Ended .... return 0" + kEol +
                                     "[2026-03-07 09:05:03] second run" + kEol);
}

TEST_F(HelperLogTest, UnopenableFileStillReturns) {
    HelperLogTarget().path = file_.WidePath() + L".missing-dir/ravik_helper.log";
    EXPECT_NO_THROW(WriteLog(L"lost"));
    EXPECT_EQ(clockReads_, 1);
    // The lock was given back: the next entry goes through.
    HelperLogTarget().path = file_.WidePath();
    WriteLog(L"kept");
    EXPECT_EQ(file_.ReadBytes(), "[2026-03-07 09:05:03] kept" + kEol);
}

#ifdef _WIN32
// This test program, started again with this variable set, becomes the
// debuggee: it logs two messages before any test runs and ends.
constexpr wchar_t kDebuggeeVariable[] = L"VELK_HELPER_LOG_DEBUGGEE";

struct DebuggeeMode {
    DebuggeeMode() {
        wchar_t value[4] = {};
        if (GetEnvironmentVariableW(kDebuggeeVariable, value, 4) == 0) {
            return;
        }
        HelperLogTarget().path.clear();  // no file: only the debugger output matters
        WriteLog(L"");
        WriteLog(L"Tunnel index found");
        ExitProcess(0);
    }
} debuggeeMode;

std::wstring ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    std::wstring text;
    const std::size_t units = info.nDebugStringLength;
    if (info.fUnicode) {
        text.resize(units);
        ReadProcessMemory(process, info.lpDebugStringData, &text[0], units * sizeof(wchar_t),
                          nullptr);
    } else {
        std::string bytes(units, '\0');
        ReadProcessMemory(process, info.lpDebugStringData, &bytes[0], units, nullptr);
        text.assign(bytes.begin(), bytes.end());
    }
    const std::size_t end = text.find(L'\0');
    if (end != std::wstring::npos) {
        text.resize(end);
    }
    return text;
}

TEST(HelperLogDebuggerTest, DebuggerReceivesEachMessageWithALineFeed) {
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, &self[0], MAX_PATH));
    std::wstring commandLine = L"\"" + self + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    SetEnvironmentVariableW(kDebuggeeVariable, L"1");
    const BOOL started = CreateProcessW(self.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                        DEBUG_ONLY_THIS_PROCESS | CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &info);
    const DWORD startError = GetLastError();
    SetEnvironmentVariableW(kDebuggeeVariable, nullptr);
    ASSERT_TRUE(started) << startError;
    const velk::UniqueHandle process(info.hProcess);
    const velk::UniqueHandle thread(info.hThread);

    std::vector<std::wstring> received;
    for (bool running = true; running;) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 60000)) {
            ADD_FAILURE() << "the debuggee went silent";
            TerminateProcess(process.Get(), 1);
            break;
        }
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT: {
                const velk::UniqueHandle image(event.u.CreateProcessInfo.hFile);
                break;
            }
            case LOAD_DLL_DEBUG_EVENT: {
                const velk::UniqueHandle image(event.u.LoadDll.hFile);
                break;
            }
            case OUTPUT_DEBUG_STRING_EVENT:
                received.push_back(ReadDebugString(process.Get(), event.u.DebugString));
                break;
            case EXCEPTION_DEBUG_EVENT:
                // Only the loader's first breakpoint is ours to swallow.
                if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                    continueStatus = DBG_EXCEPTION_NOT_HANDLED;
                }
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                running = false;
                break;
            default:
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }
    EXPECT_EQ(received, (std::vector<std::wstring>{L"\n", L"Tunnel index found\n"}));
}
#endif

}  // namespace
}  // namespace netsteer
