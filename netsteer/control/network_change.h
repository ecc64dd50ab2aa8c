#pragma once
// Whether a recorded route state still belongs to the network the machine is
// on. After a power loss the state file outlives the routes (none of them is
// persistent), and a laptop may have moved since: putting back a gateway that
// is not there would replace the live network's default route with a dead one.
#include <string>
#include <vector>

#include "netsteer/machine/route_listing.h"

namespace netsteer {

// True when the table shows that the machine now sits on another network than
// the one `savedGateway` was recorded on; then the current default routes must
// be kept and the saved one must not be added. Pure. Exactly:
// - a "live" default route is a default route (0.0.0.0/0.0.0.0) with a usable
//   gateway (IsDefaultRouteWithUsableGateway: a plain dotted address, neither
//   on-link nor 0.0.0.0) that does not leave through a tunnel interface;
// - a tunnel interface is one whose address carries a default route without a
//   real gateway (on-link or 0.0.0.0), as the tunnel's own default route and
//   the one netsteer adds do; a route through it never shows a real network;
// - the state is from another network when no default route with a usable
//   gateway goes through `savedGateway` and at least one live default route
//   exists.
// Not moved, so the recorded route is put back as before: a default route
// through the saved gateway is listed (on any interface, among any others), or
// no live default route is listed at all (the normal routed table, where only
// the tunnel's on-link default route is left, or a table that cannot be read).
// A new network that reuses the saved gateway's address counts as the same.
bool IsSavedGatewayOnAnotherNetwork(const std::vector<RouteEntry>& routes,
                                    const std::wstring& savedGateway);

}  // namespace netsteer
