#include "netsteer/control/control_messages.h"
#include "netsteer/control/ipv6_dns_steering.h"
#include "netsteer/control/network_change.h"
#include "netsteer/control/start_sequence.h"
#include "netsteer/control/route_state.h"
#include "netsteer/netsteer_constants.h"
#include "netsteer/machine/route_change.h"
#include "netsteer/machine/route_command.h"
#include "netsteer/machine/default_routes.h"
#include "netsteer/machine/route_listing.h"
#include "netsteer/machine/tunnel_finder.h"
#include "netsteer/machine/uplink_lookup.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace netsteer {
namespace {

int EndStart(ControlSystem& system, int code, const wchar_t* message) {
    system.Log(message);
    return code;
}

enum class Leftover {
    kNone,
    // The recorded default route was put back.
    kUndone,
    // The record was from another network: the live default routes were kept.
    kDroppedAsStale,
};

// A previous `start` left its changes recorded: put the old default route
// back before changing anything. Nothing here is checked, and nothing is
// logged unless the record turns out to be from another network.
Leftover UndoLeftoverState(ControlSystem& system) {
    RouteState leftover;
    if (!LoadState(system.StateFilePath(), leftover)) {
        return Leftover::kNone;
    }
    UndoIpv6AndDns(system, leftover);
    const std::vector<RouteEntry> routes = ListActiveRoutes(system);
    const bool stale = IsSavedGatewayOnAnotherNetwork(routes, leftover.gateway);
    if (stale) {
        system.Log(kMsgSavedGatewayGone + leftover.gateway);
        RunRouteCommandIgnoringOutcome(system, DeleteServerBypassRoute(leftover.serverIp));
        system.Log(kMsgDeleteLeftoverBypassDone);
        DeleteState(system.StateFilePath());
        system.Log(kMsgDeleteLeftoverStateDone);
    } else {
        DeleteAllDefaultRoutes(system, routes);
        RunRouteCommandIgnoringOutcome(system, DeleteServerBypassRoute(leftover.serverIp));
        RunRouteCommandIgnoringOutcome(
            system, RestoreDefaultRoute(leftover.gateway, leftover.interfaceIndex));
        DeleteState(system.StateFilePath());
    }
    system.Sleep(kUndoLeftoverPauseMs);
    return stale ? Leftover::kDroppedAsStale : Leftover::kUndone;
}

// The tunnel adapter may still be coming up: try at once, then every pause,
// but start no attempt once the deadline has passed, so that the rest of
// `start` still fits in the service's time-out.
std::optional<int> WaitForTunnelIndex(ControlSystem& system, std::uint64_t startedAtMs) {
    for (int attempt = 0; attempt < kTunnelLookupAttempts; ++attempt) {
        if (system.MonotonicMs() - startedAtMs >= kTunnelSearchDeadlineMs) {
            return std::nullopt;
        }
        if (const std::optional<int> tunnelIndex = GetTunnelIndex(system)) {
            return tunnelIndex;
        }
        system.Sleep(kTunnelRetryPauseMs);
    }
    return std::nullopt;
}

}  // namespace

int RunStart(ControlSystem& system, const std::wstring& serverIp, std::uint64_t startedAtMs,
             const std::vector<std::wstring>& dnsServers) {
    system.Log(kMsgStartCalled);
    const Leftover leftover = UndoLeftoverState(system);

    const std::optional<int> tunnelIndex = WaitForTunnelIndex(system, startedAtMs);
    if (!tunnelIndex) {
        return EndStart(system, kExitTunnelNotFound, kMsgReturnTunnelNotFound);
    }
    system.Log(kMsgTunnelIndexFound);
    if (leftover != Leftover::kNone) {
        // The undo deletes only default routes with a real gateway, so the
        // earlier start's tunnel default route is still there, and adding it
        // again below would be refused as existing.
        RunRouteCommandIgnoringOutcome(system, DeleteTunnelDefaultRoute(*tunnelIndex));
        if (leftover == Leftover::kDroppedAsStale) {
            system.Log(kMsgDeleteLeftoverTunnelDefaultDone);
        }
    }

    const std::optional<DefaultRoute> active = SelectActiveDefaultRoute(GetDefaultRoutes(system));
    if (!active) {
        return EndStart(system, kExitNoDefaultRoute, kMsgReturnNoDefaultRoute);
    }

    const std::optional<int> uplinkIndex =
        GetUplinkInterfaceIndex(system, active->interfaceAddress);
    if (!uplinkIndex) {
        return EndStart(system, kExitNoUplinkIndex, kMsgReturnNoUplinkIndex);
    }

    // The record goes down before any route changes, so that `stop` or the
    // next `start` can repair a change that stops half-way.
    DeleteState(system.StateFilePath());
    system.Log(kMsgDeleteStateDone);
    const RouteState ipv4Record{active->gateway, *uplinkIndex, serverIp};
    if (!SaveState(system.StateFilePath(), ipv4Record)) {
        // Without the record, `stop` could not put the old route back.
        return EndStart(system, kExitSaveStateFailed, kMsgReturnSaveStateFailed);
    }
    system.Log(kMsgSaveStateDone);

    if (!RunRouteCommand(system, AddServerBypassRoute(serverIp, active->gateway, *uplinkIndex))) {
        return EndStart(system, kExitBypassRouteFailed, kMsgReturnBypassRouteFailed);
    }
    system.Log(kMsgAddBypassDone);

    DeleteAllDefaultRoutes(system);
    system.Log(kMsgDeleteAllDefaultsDone);

    if (!RunRouteCommand(system, AddTunnelDefaultRoute(*tunnelIndex))) {
        return EndStart(system, kExitTunnelRouteFailed, kMsgReturnTunnelRouteFailed);
    }
    system.Log(kMsgAddTunnelDefaultDone);

    SteerIpv6AndDns(system, ipv4Record, *tunnelIndex, dnsServers);

    system.Sleep(kFinishPauseMs);
    return EndStart(system, kExitOk, kMsgReturnStartDone);
}

}  // namespace netsteer
