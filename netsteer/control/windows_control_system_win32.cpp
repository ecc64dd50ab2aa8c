#include "netsteer/control/windows_control_system.h"

#include <winsock2.h>

#include "netsteer/control/lookups.h"
#include "netsteer/netsteer_constants.h"

namespace netsteer {

std::wstring WindowsControlSystem::RunCommand(const std::wstring& command) {
    return helper_.RunCommand(command);
}

void WindowsControlSystem::Sleep(std::uint32_t milliseconds) {
    helper_.Sleep(milliseconds);
}

void WindowsControlSystem::Log(const std::wstring& message) {
    helper_.Log(message);
}

bool WindowsControlSystem::StartWinsock() {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void WindowsControlSystem::CleanupWinsock() {
    WSACleanup();
}

std::wstring WindowsControlSystem::ResolveServerHost(const std::wstring& host) {
    return GetVpnServerIp(host);
}

std::uint64_t WindowsControlSystem::MonotonicMs() {
    return GetTickCount64();
}

std::wstring WindowsControlSystem::StateFilePath() {
    return kStateFilePath;
}

}  // namespace netsteer
