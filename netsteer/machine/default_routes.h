#pragma once
// The default routes of the IPv4 route table listing ("route print -4"), and
// which of them is the one in use.
#include <cstdint>
#include <string>
#include <vector>

#include "netsteer/machine/helper_system.h"
#include "netsteer/machine/route_listing.h"

namespace netsteer {

struct DefaultRoute {
    std::wstring gateway;
    std::wstring interfaceAddress;
    std::int32_t metric = 0;
    bool found = false;
};

// Runs the listing and appends every default route (0.0.0.0/0.0.0.0) to
// `routes`, real gateway or not. True when the list is non-empty afterwards.
bool GetDefaultRoutes(HelperSystem& system, std::vector<DefaultRoute>& routes);

// The default route with a real gateway and the lowest metric (first listed
// wins a tie); found is false when none qualifies. A route whose gateway or
// interface address is not a plain dotted IPv4 address never qualifies. Pure.
DefaultRoute SelectActiveDefaultRoute(const std::vector<DefaultRoute>& routes);

// True for a default route (0.0.0.0/0.0.0.0) whose gateway is a real one
// given as a plain dotted IPv4 address: only such a gateway may reach a
// command line. Pure.
bool IsDefaultRouteWithUsableGateway(const RouteEntry& entry);

// True for a default route without a next hop (gateway on-link or 0.0.0.0),
// such as a tunnel adapter's own. Pure.
bool IsOnLinkDefaultRoute(const RouteEntry& entry);

}  // namespace netsteer
