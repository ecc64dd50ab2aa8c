#pragma once
// A restart of the simulated machine, on the network it was on or on another
// one, as a laptop that lost power or was carried elsewhere comes back.
#include <string>

#include "tools/netsim/netsim_machine.h"

namespace netsim {

// The uplink adapter of every scenario: Ethernet.
inline constexpr int kUplinkIndex = 12;

// A network an adapter can sit on: the address DHCP gives it there, the mask
// and the gateway.
struct Network {
    const wchar_t* name;
    const wchar_t* address;
    const wchar_t* mask;
    const wchar_t* gateway;
};

// The networks "netsim move" knows, by name ("home", "office"); null for any
// other name.
const Network* FindNetwork(const std::wstring& name);

// Puts `item` on `network`: its address, mask and gateway.
void JoinNetwork(Interface& item, const Network& network);

// What a restart leaves: the interfaces, except the tunnel adapter (a restart
// ends the VPN, and its adapter with it; one still pending never comes); every
// persistent route; and for each connected interface the routes Windows makes
// for it, with the default route through its network's gateway (as DHCP
// gives it again). Every other route is gone.
void Reboot(Machine& machine);

// The uplink adapter joins `network`, then the machine restarts. False, and
// nothing changed, when the machine has no uplink adapter.
bool MoveUplink(Machine& machine, const Network& network);

}  // namespace netsim
