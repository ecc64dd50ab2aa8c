#include "netsteer/machine/default_routes.h"

#include <limits>

#include "netsteer/machine/system_commands.h"
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

bool GetDefaultRoutes(HelperSystem& system, std::vector<DefaultRoute>& routes) {
    const std::wstring listing = PrintedText(system.RunCommand(RoutePrintCommand()));
    for (RouteEntry& entry : ReadActiveRoutes(listing)) {
        if (IsDefaultRoute(entry)) {
            DefaultRoute route;
            route.gateway = std::move(entry.gateway);
            route.interfaceAddress = std::move(entry.interfaceAddress);
            route.metric = entry.metric;
            route.found = true;
            routes.push_back(std::move(route));
        }
    }
    return !routes.empty();
}

DefaultRoute SelectActiveDefaultRoute(const std::vector<DefaultRoute>& routes) {
    const DefaultRoute* choice = nullptr;
    std::int32_t bestMetric = std::numeric_limits<std::int32_t>::max();
    for (const DefaultRoute& route : routes) {
        if (!route.found || !IsUsableGateway(route.gateway) ||
            !IsPlainDottedIPv4(route.interfaceAddress)) {
            continue;
        }
        // Strictly less: the first listed wins a tie.
        if (route.metric < bestMetric) {
            choice = &route;
            bestMetric = route.metric;
        }
    }
    if (choice == nullptr) {
        return DefaultRoute();
    }
    DefaultRoute chosen = *choice;
    chosen.found = true;
    return chosen;
}

bool IsDefaultRouteWithUsableGateway(const RouteEntry& entry) {
    return IsDefaultRoute(entry) && IsUsableGateway(entry.gateway);
}

bool IsOnLinkDefaultRoute(const RouteEntry& entry) {
    return IsDefaultRoute(entry) && !IsRealGateway(entry.gateway);
}

}  // namespace netsteer
