#pragma once
// What the route helper's control logic needs from the operating system beyond
// the machine seam: host resolution, a clock and where the state file lies.
// Production passes the Windows implementation; tests pass a scripted fake so
// that HelperMain, RunStart and RunStop run without Windows.
#include <cstdint>
#include <string>

#include "netsteer/machine/helper_system.h"

namespace netsteer {

class ControlSystem : public HelperSystem {
  public:
    // GetVpnServerIp: the host as canonical dotted IPv4 text, empty when it
    // cannot be resolved; the failed call when the resolver itself could not
    // be started (Winsock), which is no answer about the host.
    virtual velk::Win32Result<std::wstring> ResolveServerHost(const std::wstring& host) = 0;

    // Milliseconds from an arbitrary start; never goes back, and keeps
    // counting while the helper sleeps.
    virtual std::uint64_t MonotonicMs() = 0;

    // Where the route state file lies (kStateFilePath in production).
    virtual std::wstring StateFilePath() = 0;
};

}  // namespace netsteer
