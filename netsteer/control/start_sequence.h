#pragma once
// `netsteer start`: routing into the tunnel. Returns the exit code and has
// written its log line.
#include <cstdint>
#include <string>
#include <vector>

#include "netsteer/control/control_system.h"

namespace netsteer {

// Switches routing to the tunnel, keeping the server reachable through the
// old gateway, and records the old route in the state file first; changes no
// route when that record cannot be written. `startedAtMs` is the clock
// (MonotonicMs) when the helper started: the tunnel search ends
// kTunnelSearchDeadlineMs after it. A change that an earlier `start` left
// recorded is undone first; one recorded on another network
// (IsSavedGatewayOnAnotherNetwork) only loses its tunnel and server routes,
// so that the live network's default route becomes the uplink, and the IPv6
// and DNS part it recorded is undone too. Once the IPv4 routes are in the
// tunnel, IPv6 follows and, when `dnsServers` names any, DNS
// (SteerIpv6AndDns); neither changes the exit code.
int RunStart(ControlSystem& system, const std::wstring& serverIp, std::uint64_t startedAtMs,
             const std::vector<std::wstring>& dnsServers = {});

}  // namespace netsteer
