#include "netsteer/control/control_messages.h"
#include "netsteer/control/ipv6_dns_steering.h"
#include "netsteer/control/network_change.h"
#include "netsteer/control/stop_sequence.h"
#include "netsteer/control/route_state.h"
#include "netsteer/netsteer_constants.h"
#include "netsteer/machine/route_change.h"
#include "netsteer/machine/route_command.h"
#include "netsteer/machine/route_listing.h"
#include "netsteer/machine/tunnel_finder.h"

#include <optional>
#include <vector>

namespace netsteer {
namespace {

int EndStop(ControlSystem& system) {
    system.Sleep(kFinishPauseMs);
    system.Log(kMsgStopEnded);
    return kExitOk;
}

}  // namespace

int RunStop(ControlSystem& system) {
    system.Log(kMsgStopCalled);

    RouteState saved;
    if (!LoadState(system.StateFilePath(), saved)) {
        system.Log(kMsgReturnNoStateOnStop);
        return kExitNoStateOnStop;
    }

    // Independent of the IPv4 routes, and undone first so that a failed
    // restore below leaves no IPv6 route or DNS rule in the tunnel.
    UndoIpv6AndDns(system, saved);

    // One look only: the tunnel adapter may already be gone, and then its
    // route went with it.
    if (const std::optional<int> tunnelIndex = GetTunnelIndex(system)) {
        RunRouteCommandIgnoringOutcome(system, DeleteTunnelDefaultRoute(*tunnelIndex));
        system.Log(kMsgDeleteTunnelDefaultDone);
    }

    // The listing that the deletion of the default routes needs anyway also
    // tells whether the machine has moved to another network since `start`.
    const std::vector<RouteEntry> routes = ListActiveRoutes(system);
    if (IsSavedGatewayOnAnotherNetwork(routes, saved.gateway)) {
        // The live network's default route stays, and the dead one is not
        // added; only what `start` added for the tunnel goes.
        system.Log(kMsgSavedGatewayGone + saved.gateway);
        RunRouteCommandIgnoringOutcome(system, DeleteServerBypassRoute(saved.serverIp));
        system.Log(kMsgDeleteBypassDone);
        DeleteState(system.StateFilePath());
        system.Log(kMsgDeleteStateDone);
        return EndStop(system);
    }
    DeleteAllDefaultRoutes(system, routes);
    system.Log(kMsgDeleteAllDefaultsDone);

    RunRouteCommandIgnoringOutcome(system, DeleteServerBypassRoute(saved.serverIp));
    system.Log(kMsgDeleteBypassDone);

    if (!RunRouteCommand(system, RestoreDefaultRoute(saved.gateway, saved.interfaceIndex))) {
        // The state file stays, so that another `stop` can try again.
        system.Log(kMsgReturnRestoreFailed);
        return kExitRestoreFailed;
    }
    system.Log(kMsgRestoreDefaultDone);

    DeleteState(system.StateFilePath());
    system.Log(kMsgDeleteStateDone);
    return EndStop(system);
}

}  // namespace netsteer
