#include "netsteer/probes/route_table.h"

#include <limits>

#include "netsteer/netsteer_constants.h"
#include "netsteer/probes/route_command.h"
#include "netsteer/probes/system_commands.h"
#include "netsteer/probes/text_utils.h"

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
    const std::wstring listing = system.RunCommand(RoutePrintCommand());
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

void DeleteAllDefaultRoutes(HelperSystem& system) {
    const std::wstring listing = system.RunCommand(RoutePrintCommand());
    for (const RouteEntry& entry : ReadActiveRoutes(listing)) {
        // Routes without a real gateway stay, among them the tunnel's own
        // default route (gateway 0.0.0.0). Each result is ignored so that one
        // refused deletion does not keep the others.
        if (IsDefaultRoute(entry) && IsUsableGateway(entry.gateway)) {
            RunRouteCommand(system, DeleteDefaultRouteCommand(entry.gateway));
        }
    }
    system.Sleep(kDeleteDefaultsPauseMs);
}

}  // namespace netsteer
