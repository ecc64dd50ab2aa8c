#include "netsteer/machine/default_routes.h"

#include <limits>

#include "netsteer/machine/text_utils.h"

namespace netsteer {
namespace {

bool IsDefaultRoute(const RouteEntry& entry) {
    return entry.destination == kAnyAddress && entry.netmask == kAnyAddress;
}

bool IsRealGateway(const std::wstring& gateway) {
    return gateway != kOnLinkGateway && gateway != kAnyAddress;
}

// The gateway and interface address of a chosen or deleted route go into
// command lines that cmd.exe and PowerShell run with the service's rights, so
// whatever the listing holds, only a plain address may get there.
bool IsUsableGateway(const std::wstring& gateway) {
    return IsRealGateway(gateway) && IsPlainDottedIPv4(gateway);
}

}  // namespace

std::vector<DefaultRoute> GetDefaultRoutes(HelperSystem& system) {
    std::vector<DefaultRoute> routes;
    for (RouteEntry& entry : ListActiveRoutes(system)) {
        if (IsDefaultRoute(entry)) {
            routes.push_back(DefaultRoute{std::move(entry.gateway),
                                          std::move(entry.interfaceAddress), entry.metric});
        }
    }
    return routes;
}

std::optional<DefaultRoute> SelectActiveDefaultRoute(const std::vector<DefaultRoute>& routes) {
    const DefaultRoute* choice = nullptr;
    std::int32_t bestMetric = std::numeric_limits<std::int32_t>::max();
    for (const DefaultRoute& route : routes) {
        if (!IsUsableGateway(route.gateway) || !IsPlainDottedIPv4(route.interfaceAddress)) {
            continue;
        }
        // Strictly less: the first listed wins a tie.
        if (route.metric < bestMetric) {
            choice = &route;
            bestMetric = route.metric;
        }
    }
    if (choice == nullptr) {
        return std::nullopt;
    }
    return *choice;
}

bool IsDefaultRouteWithUsableGateway(const RouteEntry& entry) {
    return IsDefaultRoute(entry) && IsUsableGateway(entry.gateway);
}

bool IsOnLinkDefaultRoute(const RouteEntry& entry) {
    return IsDefaultRoute(entry) && !IsRealGateway(entry.gateway);
}

}  // namespace netsteer
