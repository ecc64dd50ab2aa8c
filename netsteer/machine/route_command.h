#pragma once
// Running the route commands that change the table.
#include <string>
#include <vector>

#include "netsteer/machine/helper_system.h"
#include "netsteer/machine/route_change.h"
#include "netsteer/machine/route_listing.h"

namespace netsteer {

// Runs the change's command (RouteCommand) and pauses kRouteCommandPauseMs.
// False when the command could not run. Then judges the output
// (JudgeRouteOutput); a confirmation in other words is checked by listing the
// route table once more and looking for the route there, with the addresses
// of its interface when it has no next hop (RouteTableShowsChangeDone), so
// that a refusal in any language is never taken for success.
bool RunRouteCommand(HelperSystem& system, const RouteChange& change);

// Runs a clean-up change whose outcome does not matter (a route that is
// already gone is fine) and pauses kRouteCommandPauseMs, as RunRouteCommand
// does, but lists no table to judge it.
void RunRouteCommandIgnoringOutcome(HelperSystem& system, const RouteChange& change);

// Deletes every default route with a usable gateway
// (IsDefaultRouteWithUsableGateway), in listing order, then pauses
// kDeleteDefaultsPauseMs.
void DeleteAllDefaultRoutes(HelperSystem& system);

// The same on a listing already read (`routes`, from ListActiveRoutes): for a
// caller that has to look at the table before it decides to delete.
void DeleteAllDefaultRoutes(HelperSystem& system, const std::vector<RouteEntry>& routes);

}  // namespace netsteer
