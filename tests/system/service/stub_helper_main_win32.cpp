// A stand-in for netsteer.exe in the service scenarios. The service starts it
// as  netsteer.exe <action> "<host>"  and the host word says what to do:
//
//   exit:<n>          exit with code n at once
//   sleep:<ms>        sleep that long, then exit 0
//   tree:<ms>         start a copy of itself with sleep:<ms>, then sleep that
//                     long too (a helper with a child of its own)
//
// Every run appends "<pid> <action> <host>" to kStubCallsPath, so a scenario
// can tell which processes ran and with what arguments, and first sleeps as
// long as kStubDelayPath says, if it is there. The service gives it no
// environment of the test's, hence the fixed paths.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "common/local_memory.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "tests/system/service/service_scenario_paths.h"

namespace {

void RecordCall(const std::wstring& line) {
    CreateDirectoryW(velk::scenario::kStubDirectory, nullptr);
    velk::UniqueHandle file(CreateFileW(velk::scenario::kStubCallsPath, FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string bytes = velk::WideToUtf8(line + L"\n");
    DWORD written = 0;
    if (file) {
        WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

DWORD Number(const std::wstring& text) {
    return static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, 10));
}

DWORD FileDelayMs() {
    velk::UniqueHandle file(CreateFileW(velk::scenario::kStubDelayPath, GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    char digits[16] = {};
    DWORD read = 0;
    if (!file || !ReadFile(file.Get(), digits, sizeof(digits) - 1, &read, nullptr)) {
        return 0;
    }
    return static_cast<DWORD>(std::strtoul(digits, nullptr, 10));
}

bool StartSleepingCopy(const std::wstring& ms) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\" child \"sleep:" + ms + L"\"";
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        return false;
    }
    // The copy runs on by itself; our handles to it go now.
    velk::TakeProcessHandles(process);
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    int count = 0;
    const velk::UniqueLocal<LPWSTR> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    const std::vector<std::wstring> args(argv.Get(), argv.Get() + (argv ? count : 0));
    if (args.size() != 3) {
        return 99;
    }
    const std::wstring& host = args[2];
    RecordCall(std::to_wstring(GetCurrentProcessId()) + L" " + args[1] + L" " + host);
    Sleep(FileDelayMs());
    const std::size_t colon = host.find(L':');
    const std::wstring verb = host.substr(0, colon);
    const std::wstring value = colon == std::wstring::npos ? L"" : host.substr(colon + 1);
    if (verb == L"exit") {
        return static_cast<int>(Number(value));
    }
    if (verb == L"sleep") {
        Sleep(Number(value));
        return 0;
    }
    if (verb == L"tree") {
        if (!StartSleepingCopy(value)) {
            return 98;
        }
        Sleep(Number(value));
        return 0;
    }
    return 0;
}
