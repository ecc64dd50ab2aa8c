#pragma once
// "netsim", the control program of the simulated machine.
#include <string>
#include <vector>

#include "tools/netsim/netsim_machine.h"
#include "tools/netsim/netsim_tools.h"

namespace netsim {

// The tunnel adapter the VPN creates: "velk_vpn0", index 45, 10.8.0.2/24.
Interface TunnelAdapter();

// A fresh machine. "home": Ethernet (index 12, 192.168.1.23/24, default
// gateway 192.168.1.1) and the loopback. "two-uplinks": the same plus Wi-Fi
// (index 17, 192.168.50.220/24, gateway 192.168.50.254, interface metric 35).
// Returns false for an unknown name.
bool MakeScenario(const std::wstring& name, Machine& machine);

// Runs one control command:
//   reset [home|two-uplinks]     show      journal [clear]
//   tunnel-after N               tunnel-up            tunnel-down
//   fail PATTERN MESSAGE [TIMES]  clear-failures       language en|de
//   delay MS                     reboot               move home|office
ToolResult RunControl(Machine& machine, const std::vector<std::wstring>& args);

// The usage text of the control program.
std::wstring ControlUsage();

}  // namespace netsim
