#include "tools/netsim/netsim_reboot.h"

#include <algorithm>

#include "tools/netsim/netsim_control.h"

namespace netsim {
namespace {

// The names and addresses are what the system tests move the machine to.
constexpr Network kNetworks[] = {
    {L"home", L"192.168.1.23", L"255.255.255.0", L"192.168.1.1"},
    {L"office", L"172.20.4.61", L"255.255.255.0", L"172.20.4.1"},
};

}  // namespace

const Network* FindNetwork(const std::wstring& name) {
    for (const Network& network : kNetworks) {
        if (name == network.name) {
            return &network;
        }
    }
    return nullptr;
}

void JoinNetwork(Interface& item, const Network& network) {
    item.address = network.address;
    item.mask = network.mask;
    item.gateway = network.gateway;
    // DHCP names the network's router as its resolver too.
    item.dnsServers = {network.gateway};
}

void Reboot(Machine& machine) {
    RemoveInterface(machine, TunnelAdapter().index);
    machine.tunnelPending = false;
    auto& routes = machine.routes;
    routes.erase(
        std::remove_if(routes.begin(), routes.end(), [](const Route& r) { return !r.persistent; }),
        routes.end());
    // The NRPT lives in the registry and stays; active IPv6 routes go.
    auto& routes6 = machine.routes6;
    routes6.erase(std::remove_if(routes6.begin(), routes6.end(),
                                 [](const Route6& r) { return !r.persistent; }),
                  routes6.end());
    for (const Interface& item : machine.interfaces) {
        if (item.connected) {
            AddInterfaceRoutes(machine, item);
        }
    }
}

bool MoveUplink(Machine& machine, const Network& network) {
    auto uplink = std::find_if(machine.interfaces.begin(), machine.interfaces.end(),
                               [](const Interface& item) { return item.index == kUplinkIndex; });
    if (uplink == machine.interfaces.end()) {
        return false;
    }
    JoinNetwork(*uplink, network);
    Reboot(machine);
    return true;
}

}  // namespace netsim
