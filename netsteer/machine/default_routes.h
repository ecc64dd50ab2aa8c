#pragma once
// The default routes of the IPv4 route table listing ("route print -4"), and
// which of them is the one in use.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "netsteer/machine/helper_system.h"
#include "netsteer/machine/route_listing.h"

namespace netsteer {

struct DefaultRoute {
    std::wstring gateway;
    std::wstring interfaceAddress;
    std::int32_t metric = 0;
};

// Runs the listing and gives every default route (0.0.0.0/0.0.0.0) in it,
// real gateway or not, in listing order; none when it lists no default route
// or cannot be read.
std::vector<DefaultRoute> GetDefaultRoutes(HelperSystem& system);

// The default route with a real gateway and the lowest metric (first listed
// wins a tie); none when none qualifies. A route whose gateway or interface
// address is not a plain dotted IPv4 address never qualifies. Pure.
std::optional<DefaultRoute> SelectActiveDefaultRoute(const std::vector<DefaultRoute>& routes);

// True for a default route (0.0.0.0/0.0.0.0) whose gateway is a real one
// given as a plain dotted IPv4 address: only such a gateway may reach a
// command line. Pure.
bool IsDefaultRouteWithUsableGateway(const RouteEntry& entry);

// True for a default route without a next hop (gateway on-link or 0.0.0.0),
// such as a tunnel adapter's own. Pure.
bool IsOnLinkDefaultRoute(const RouteEntry& entry);

}  // namespace netsteer
