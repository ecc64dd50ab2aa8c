#include "netsteer/control/control_messages.h"
#include "netsteer/control/stop_sequence.h"
#include "netsteer/control/route_state.h"
#include "netsteer/netsteer_constants.h"
#include "netsteer/machine/route_command.h"
#include "netsteer/machine/system_commands.h"
#include "netsteer/machine/tunnel_finder.h"

namespace netsteer {

int RunStop(ControlSystem& system) {
    system.Log(kMsgStopCalled);

    RouteState saved;
    if (!LoadState(system.StateFilePath(), saved)) {
        system.CleanupWinsock();
        system.Log(kMsgReturnNoStateOnStop);
        return kExitNoStateOnStop;
    }

    // One look only: the tunnel adapter may already be gone, and then its
    // route went with it.
    int tunnelIndex = 0;
    if (GetTunnelIndex(system, tunnelIndex)) {
        RunRouteCommandIgnoringOutcome(system, DeleteTunnelDefaultRouteCommand(tunnelIndex));
        system.Log(kMsgDeleteTunnelDefaultDone);
    }

    DeleteAllDefaultRoutes(system);
    system.Log(kMsgDeleteAllDefaultsDone);

    RunRouteCommandIgnoringOutcome(system, DeleteServerBypassRouteCommand(saved.serverIp));
    system.Log(kMsgDeleteBypassDone);

    if (!RunRouteCommand(system, RestoreDefaultRouteCommand(saved.gateway, saved.interfaceIndex))) {
        // The state file stays, so that another `stop` can try again.
        system.Log(kMsgReturnRestoreFailed);
        system.CleanupWinsock();
        return kExitRestoreFailed;
    }
    system.Log(kMsgRestoreDefaultDone);

    DeleteState(system.StateFilePath());
    system.Log(kMsgDeleteStateDone);

    system.Sleep(kFinishPauseMs);
    system.CleanupWinsock();
    system.Log(kMsgStopEnded);
    return kExitOk;
}

}  // namespace netsteer
