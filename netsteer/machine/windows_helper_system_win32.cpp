#include "netsteer/machine/windows_helper_system.h"

#include <windows.h>

#include "netsteer/machine/command_runner.h"
#include "netsteer/machine/helper_log.h"

namespace netsteer {

velk::Win32Result<std::wstring> WindowsHelperSystem::RunCommand(const std::wstring& command) {
    velk::Win32Result<std::wstring> output = netsteer::RunCommand(command);
    if (!output) {
        WriteLog(velk::FailureText(output.error()));
    }
    return output;
}

void WindowsHelperSystem::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

void WindowsHelperSystem::Log(const std::wstring& message) {
    WriteLog(message);
}

}  // namespace netsteer
