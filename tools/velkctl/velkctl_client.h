#pragma once
// velkctl's side of the pipe: find the service's pipe, make sure the service
// is what serves it, send one request and read the one response line.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velk::velkctl {

// The process id of the running VelkVPNService as the service control
// manager reports it, or nothing (not installed, not running, no access).
std::optional<DWORD> RunningServiceProcessId();

struct ClientSettings {
    std::wstring pipeName;
    std::uint32_t waitMs = 0;  // how long to keep trying while the pipe is busy or absent
    // Who must be serving the pipe; RunningServiceProcessId in velkctl.
    std::function<std::optional<DWORD>()> expectedServer;
    // Let the server act as this user (impersonation level) rather than only
    // learn who it is (identification level): the service reads a core
    // configuration as its client. Safe because nothing is written before
    // the server is known to be expectedServer(), and a server can act as
    // its client only once it has read from it.
    bool serverActsAsUs = false;
};

struct ClientResult {
    bool answered = false;
    std::wstring line;   // the response line, when answered
    std::wstring error;  // why there is no answer, for people
};

// Nothing is written to a pipe whose server process is not expectedServer().
ClientResult SendRequest(const ClientSettings& settings, const std::wstring& request);

}  // namespace velk::velkctl
