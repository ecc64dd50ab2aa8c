#pragma once
// What the route helper's control logic needs from the operating system beyond
// the machine seam: Winsock, host resolution, a clock and where the state file
// lies.
// Production passes the Windows implementation; tests pass a scripted fake so
// that HelperMain, RunStart and RunStop run without Windows.
#include <cstdint>
#include <string>

#include "netsteer/machine/helper_system.h"

namespace netsteer {

class ControlSystem : public HelperSystem {
  public:
    // WSAStartup for version 2.2; false when Winsock could not be started.
    virtual bool StartWinsock() = 0;

    // WSACleanup; called once for every successful StartWinsock.
    virtual void CleanupWinsock() = 0;

    // GetVpnServerIp: the host as canonical dotted IPv4 text, empty when it
    // cannot be resolved.
    virtual std::wstring ResolveServerHost(const std::wstring& host) = 0;

    // Milliseconds from an arbitrary start; never goes back, and keeps
    // counting while the helper sleeps.
    virtual std::uint64_t MonotonicMs() = 0;

    // Where the route state file lies (kStateFilePath in production).
    virtual std::wstring StateFilePath() = 0;
};

}  // namespace netsteer
