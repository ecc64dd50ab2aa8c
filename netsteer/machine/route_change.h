#pragma once
// A change to the IPv4 route table as a value: the route, and whether it is
// added or deleted. Its command line is composed from it (RouteCommand) and
// its outcome judged by looking for it in the table listed afterwards
// (RouteTableShowsChangeDone), so no command text is ever read back.
#include <optional>
#include <string>

namespace netsteer {

// A route as the route tool names it. An addition names every field; a
// deletion names only what picks the routes to go. A field left out means
// what the tool takes for it: a host route's mask (kHostMask), and any
// gateway, interface and metric.
struct Route {
    std::wstring destination;
    std::optional<std::wstring> mask;
    std::optional<std::wstring> gateway;  // kAnyAddress: no next hop
    std::optional<int> interfaceIndex;
    std::optional<int> metric;
};

enum class RouteAction { kAdd, kDelete };

struct RouteChange {
    RouteAction action = RouteAction::kAdd;
    Route route;
};

// The changes netsteer makes.
// The server's host route through the uplink's gateway (kBypassRouteMetric).
RouteChange AddServerBypassRoute(const std::wstring& serverIp, const std::wstring& gateway,
                                 int interfaceIndex);
// The default route without a next hop through the tunnel
// (kTunnelDefaultRouteMetric).
RouteChange AddTunnelDefaultRoute(int tunnelIndex);
// The saved default route (kRestoredDefaultRouteMetric).
RouteChange RestoreDefaultRoute(const std::wstring& gateway, int interfaceIndex);
// The host route to the server, through whatever gateway.
RouteChange DeleteServerBypassRoute(const std::wstring& serverIp);
// The default routes through the gateway, on any interface.
RouteChange DeleteDefaultRoute(const std::wstring& gateway);
// The default route without a next hop through the tunnel.
RouteChange DeleteTunnelDefaultRoute(int tunnelIndex);

// The interface of a route without a next hop (gateway kAnyAddress) that
// names a real interface (an index above 0): only the interface tells such a
// route from another adapter's. Empty for every other route. Pure.
std::optional<int> OnLinkRouteInterface(const Route& route);

}  // namespace netsteer
