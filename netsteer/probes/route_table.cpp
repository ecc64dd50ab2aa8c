#include "netsteer/probes/route_table.h"

#include <limits>

#include "netsteer/netsteer_constants.h"
#include "netsteer/probes/route_command.h"
#include "netsteer/probes/system_commands.h"
#include "netsteer/probes/text_utils.h"

namespace netsteer {
namespace {

// The English markers of "route print -4"; a localised listing has none of
// them and so yields no entries.
constexpr wchar_t kActiveRoutesMarker[] = L"Active Routes:";
constexpr wchar_t kPersistentRoutesMarker[] = L"Persistent Routes:";
constexpr wchar_t kRulerMarker[] = L"===";
constexpr wchar_t kHeadingMarker[] = L"Network Destination";

constexpr wchar_t kAnyAddress[] = L"0.0.0.0";
constexpr wchar_t kOnLink[] = L"On-link";

bool Contains(const std::wstring& text, const wchar_t* marker) {
    return text.find(marker) != std::wstring::npos;
}

bool IsDefaultRoute(const RouteEntry& entry) {
    return entry.destination == kAnyAddress && entry.netmask == kAnyAddress;
}

bool IsRealGateway(const std::wstring& gateway) {
    return gateway != kOnLink && gateway != kAnyAddress;
}

// The gateway and interface address of a chosen or deleted route go into
// command lines that cmd.exe and PowerShell run with the service's rights, so
// whatever the listing holds, only a plain address may get there.
bool IsUsableGateway(const std::wstring& gateway) {
    return IsRealGateway(gateway) && IsPlainDottedIPv4(gateway);
}

// One route line: four text columns and an integer metric; text after the
// metric is ignored.
bool ReadRouteLine(const std::wstring& line, RouteEntry& entry) {
    FieldCursor cursor;
    ReadTextField(line, cursor, entry.destination);
    ReadTextField(line, cursor, entry.netmask);
    ReadTextField(line, cursor, entry.gateway);
    ReadTextField(line, cursor, entry.interfaceAddress);
    ReadIntField(line, cursor, entry.metric);
    return !cursor.failed;
}

}  // namespace

std::vector<RouteEntry> ReadActiveRoutes(const std::wstring& listing) {
    std::vector<RouteEntry> entries;
    bool inSection = false;
    for (const std::wstring& rawLine : SplitLines(listing)) {
        const std::wstring line = Trim(rawLine);
        if (Contains(line, kActiveRoutesMarker)) {
            inSection = true;
            continue;
        }
        if (!inSection) {
            continue;
        }
        if (Contains(line, kPersistentRoutesMarker)) {
            break;
        }
        if (line.empty() || Contains(line, kRulerMarker) || Contains(line, kHeadingMarker)) {
            continue;
        }
        RouteEntry entry;
        if (ReadRouteLine(line, entry)) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

bool GetDefaultRoutes(HelperSystem& system, std::vector<DefaultRoute>& routes) {
    const std::wstring listing = system.RunCommand(RoutePrintCommand());
    for (RouteEntry& entry : ReadActiveRoutes(listing)) {
        if (IsDefaultRoute(entry)) {
            DefaultRoute route;
            route.gateway = std::move(entry.gateway);
            route.interfaceAddress = std::move(entry.interfaceAddress);
            route.metric = entry.metric;
            route.found = true;
            routes.push_back(std::move(route));
        }
    }
    return !routes.empty();
}

DefaultRoute SelectActiveDefaultRoute(const std::vector<DefaultRoute>& routes) {
    const DefaultRoute* choice = nullptr;
    std::int32_t bestMetric = std::numeric_limits<std::int32_t>::max();
    for (const DefaultRoute& route : routes) {
        if (!route.found || !IsUsableGateway(route.gateway) ||
            !IsPlainDottedIPv4(route.interfaceAddress)) {
            continue;
        }
        // Strictly less: the first listed wins a tie.
        if (route.metric < bestMetric) {
            choice = &route;
            bestMetric = route.metric;
        }
    }
    if (choice == nullptr) {
        return DefaultRoute();
    }
    DefaultRoute chosen = *choice;
    chosen.found = true;
    return chosen;
}

void DeleteAllDefaultRoutes(HelperSystem& system) {
    const std::wstring listing = system.RunCommand(RoutePrintCommand());
    for (const RouteEntry& entry : ReadActiveRoutes(listing)) {
        // Routes without a real gateway stay, among them the tunnel's own
        // default route (gateway 0.0.0.0). Each result is ignored so that one
        // refused deletion does not keep the others.
        if (IsDefaultRoute(entry) && IsUsableGateway(entry.gateway)) {
            RunRouteCommand(system, DeleteDefaultRouteCommand(entry.gateway));
        }
    }
    system.Sleep(kDeleteDefaultsPauseMs);
}

}  // namespace netsteer
