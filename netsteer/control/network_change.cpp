#include "netsteer/control/network_change.h"

#include <algorithm>

#include "netsteer/machine/default_routes.h"

namespace netsteer {
namespace {

std::vector<std::wstring> TunnelInterfaceAddresses(const std::vector<RouteEntry>& routes) {
    std::vector<std::wstring> addresses;
    for (const RouteEntry& entry : routes) {
        if (IsOnLinkDefaultRoute(entry)) {
            addresses.push_back(entry.interfaceAddress);
        }
    }
    return addresses;
}

}  // namespace

bool IsSavedGatewayOnAnotherNetwork(const std::vector<RouteEntry>& routes,
                                    const std::wstring& savedGateway) {
    const std::vector<std::wstring> tunnels = TunnelInterfaceAddresses(routes);
    bool liveDefaultRoute = false;
    for (const RouteEntry& entry : routes) {
        if (!IsDefaultRouteWithUsableGateway(entry)) {
            continue;
        }
        if (entry.gateway == savedGateway) {
            return false;
        }
        if (std::find(tunnels.begin(), tunnels.end(), entry.interfaceAddress) == tunnels.end()) {
            liveDefaultRoute = true;
        }
    }
    return liveDefaultRoute;
}

}  // namespace netsteer
