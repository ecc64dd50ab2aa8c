#include "netsteer/machine/route_change.h"

#include "netsteer/machine/route_listing.h"
#include "netsteer/netsteer_constants.h"

namespace netsteer {
namespace {

// A route that leads out through an interface with a metric: every addition.
RouteChange Addition(const std::wstring& destination, const wchar_t* mask,
                     const std::wstring& gateway, int interfaceIndex, int metric) {
    return RouteChange{RouteAction::kAdd,
                       Route{destination, mask, gateway, interfaceIndex, metric}};
}

}  // namespace

RouteChange AddServerBypassRoute(const std::wstring& serverIp, const std::wstring& gateway,
                                 int interfaceIndex) {
    return Addition(serverIp, kHostMask, gateway, interfaceIndex, kBypassRouteMetric);
}

RouteChange AddTunnelDefaultRoute(int tunnelIndex) {
    return Addition(kAnyAddress, kAnyAddress, kAnyAddress, tunnelIndex, kTunnelDefaultRouteMetric);
}

RouteChange RestoreDefaultRoute(const std::wstring& gateway, int interfaceIndex) {
    return Addition(kAnyAddress, kAnyAddress, gateway, interfaceIndex, kRestoredDefaultRouteMetric);
}

RouteChange DeleteServerBypassRoute(const std::wstring& serverIp) {
    return RouteChange{RouteAction::kDelete, Route{serverIp, {}, {}, {}, {}}};
}

RouteChange DeleteDefaultRoute(const std::wstring& gateway) {
    return RouteChange{RouteAction::kDelete, Route{kAnyAddress, kAnyAddress, gateway, {}, {}}};
}

RouteChange DeleteTunnelDefaultRoute(int tunnelIndex) {
    return RouteChange{RouteAction::kDelete,
                       Route{kAnyAddress, kAnyAddress, kAnyAddress, tunnelIndex, {}}};
}

std::optional<int> OnLinkRouteInterface(const Route& route) {
    if (route.gateway != kAnyAddress || !route.interfaceIndex || *route.interfaceIndex <= 0) {
        return std::nullopt;
    }
    return route.interfaceIndex;
}

}  // namespace netsteer
