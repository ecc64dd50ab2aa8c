#include "netsteer/machine/route_command.h"

#include <optional>
#include <vector>

#include "netsteer/machine/default_routes.h"
#include "netsteer/machine/interface_addresses.h"
#include "netsteer/machine/route_listing.h"
#include "netsteer/netsteer_constants.h"
#include "netsteer/machine/route_outcome.h"
#include "netsteer/machine/system_commands.h"

namespace netsteer {

bool RunRouteCommand(HelperSystem& system, const RouteChange& change) {
    const velk::Win32Result<std::wstring> output = system.RunCommand(RouteCommand(change));
    // The pause comes before the judgement so that every command, refused or
    // not, gives the routing table the same time to settle.
    system.Sleep(kRouteCommandPauseMs);
    // A command that never ran changed nothing: as refused as a refusal.
    if (!output) {
        return false;
    }
    switch (JudgeRouteOutput(output.value())) {
        case RouteOutputVerdict::kRefused:
            return false;
        case RouteOutputVerdict::kDone:
            return true;
        case RouteOutputVerdict::kConfirmationToCheck:
            break;
    }
    // A confirmation in another language: the table says whether the change
    // is there, in any language.
    const std::vector<RouteEntry> table = ListActiveRoutes(system);
    std::vector<std::wstring> interfaceAddresses;
    if (const std::optional<int> interfaceIndex = OnLinkRouteInterface(change.route)) {
        interfaceAddresses = GetInterfaceAddresses(system, *interfaceIndex);
    }
    return RouteTableShowsChangeDone(change, table, interfaceAddresses);
}

void RunRouteCommandIgnoringOutcome(HelperSystem& system, const RouteChange& change) {
    static_cast<void>(system.RunCommand(RouteCommand(change)));
    system.Sleep(kRouteCommandPauseMs);
}

void DeleteAllDefaultRoutes(HelperSystem& system) {
    DeleteAllDefaultRoutes(system, ListActiveRoutes(system));
}

void DeleteAllDefaultRoutes(HelperSystem& system, const std::vector<RouteEntry>& routes) {
    for (const RouteEntry& entry : routes) {
        // Routes without a real gateway stay, among them the tunnel's own
        // default route (gateway 0.0.0.0). Each result is ignored so that one
        // refused deletion does not keep the others.
        if (IsDefaultRouteWithUsableGateway(entry)) {
            RunRouteCommandIgnoringOutcome(system, DeleteDefaultRoute(entry.gateway));
        }
    }
    system.Sleep(kDeleteDefaultsPauseMs);
}

}  // namespace netsteer
