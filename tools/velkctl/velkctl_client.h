#pragma once
// velkctl's side of the pipe: find the service's pipe, make sure the service
// is what serves it, send one request and read the one response line.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velk::velkctl {

// The process id of VelkVPNService as the service control manager reports
// it while the service's process runs (starting, running or stopping: its
// pipe is served from its start, while it still puts a saved routing back),
// or nothing (not installed, stopped, no access).
std::optional<DWORD> ServiceProcessId();

struct ClientSettings {
    std::wstring pipeName;
    std::uint32_t waitMs = 0;  // how long to keep trying while the pipe is busy or absent
    // Who must be serving the pipe; ServiceProcessId in velkctl.
    std::function<std::optional<DWORD>()> expectedServer;
};

struct ClientResult {
    bool answered = false;
    std::wstring line;   // the response line, when answered
    std::wstring error;  // why there is no answer, for people
};

// Nothing is written to a pipe whose server process is not expectedServer().
ClientResult SendRequest(const ClientSettings& settings, const std::wstring& request);

}  // namespace velk::velkctl
