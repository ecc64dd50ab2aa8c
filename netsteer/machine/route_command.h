#pragma once
// Running the route commands that change the table.
#include <string>
#include <vector>

#include "netsteer/machine/helper_system.h"
#include "netsteer/machine/route_listing.h"

namespace netsteer {

// Runs the command and pauses kRouteCommandPauseMs. False when the command
// could not run. Then judges the output (JudgeRouteOutput); a confirmation in
// other words is checked by listing the route table once more, with the
// addresses of the interface of a route without a next hop
// (RouteTableShowsCommandDone), so that a refusal in any language is never
// taken for success.
bool RunRouteCommand(HelperSystem& system, const std::wstring& commandLine);

// Runs a clean-up command whose outcome does not matter (a route that is
// already gone is fine) and pauses kRouteCommandPauseMs, as RunRouteCommand
// does, but lists no table to judge it.
void RunRouteCommandIgnoringOutcome(HelperSystem& system, const std::wstring& commandLine);

// Deletes every default route with a usable gateway
// (IsDefaultRouteWithUsableGateway), in listing order, then pauses
// kDeleteDefaultsPauseMs.
void DeleteAllDefaultRoutes(HelperSystem& system);

// The same on a listing already read (`routes`, from ReadActiveRoutes): for a
// caller that has to look at the table before it decides to delete.
void DeleteAllDefaultRoutes(HelperSystem& system, const std::vector<RouteEntry>& routes);

}  // namespace netsteer
