#pragma once
// Starting the built netsteer.exe (and other programs) under the Windows API
// and waiting for its exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/process_status.h"
#include "common/unique_handle.h"
#include "tests/support/win_files.h"

namespace netsteer::testing {

// Runs `commandLine`; returns its exit code, or -1 when it did not start or
// end within a minute.
inline long RunAndWait(const std::wstring& commandLine) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return -1;
    }
    velk::UniqueHandle process(info.hProcess);
    velk::UniqueHandle thread(info.hThread);
    if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 99);
        return -1;
    }
    const velk::Win32Result<std::uint32_t> code = velk::ExitCodeOf(process.Get());
    EXPECT_TRUE(code) << "the exit code cannot be read";
    return code ? static_cast<long>(code.value()) : -1;
}

// The build gives a Linux path; under Wine it is reached through drive Z:.
inline std::wstring NetsteerPath() {
    return velk::test_support::WindowsPath(NETSTEER_EXE_PATH);
}

// Runs netsteer.exe with `arguments` appended to its quoted path.
inline long RunNetsteer(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + NetsteerPath() + L"\"";
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    return RunAndWait(commandLine);
}

}  // namespace netsteer::testing
