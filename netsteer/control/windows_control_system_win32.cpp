#include "netsteer/control/windows_control_system.h"

#include <windows.h>

#include "netsteer/control/server_address.h"
#include "netsteer/netsteer_constants.h"

namespace netsteer {

velk::Win32Result<std::wstring> WindowsControlSystem::RunCommand(const std::wstring& command) {
    return helper_.RunCommand(command);
}

void WindowsControlSystem::Sleep(std::uint32_t milliseconds) {
    helper_.Sleep(milliseconds);
}

void WindowsControlSystem::Log(const std::wstring& message) {
    helper_.Log(message);
}

velk::Win32Result<std::wstring> WindowsControlSystem::ResolveServerHost(const std::wstring& host) {
    return GetVpnServerIp(host);
}

std::uint64_t WindowsControlSystem::MonotonicMs() {
    return GetTickCount64();
}

std::wstring WindowsControlSystem::StateFilePath() {
    return kStateFilePath;
}

}  // namespace netsteer
