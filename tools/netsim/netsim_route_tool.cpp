#include <algorithm>

#include "tools/netsim/netsim_languages.h"
#include "tools/netsim/netsim_render.h"
#include "tools/netsim/netsim_tools.h"

namespace netsim {
namespace {

// Our own short usage text, in the shape of the real tool's.
constexpr wchar_t kUsage[] =
    L"\r\n"
    L"Manipulates network routing tables (netsim stand-in, IPv4 only).\r\n"
    L"\r\n"
    L"ROUTE [-f] [-p] [-4|-6] command [destination]\r\n"
    L"                  [MASK netmask]  [gateway] [METRIC metric]  [IF interface]\r\n"
    L"\r\n"
    L"  -p           With ADD: keep the route across restarts (persistent).\r\n"
    L"  -4           IPv4 only (the only family simulated).\r\n"
    L"  command      PRINT, ADD, DELETE or CHANGE.\r\n"
    L"  destination  The destination network or host.\r\n"
    L"  MASK         The next value is the netmask (default 255.255.255.255).\r\n"
    L"  gateway      The next hop; 0.0.0.0 means on-link.\r\n"
    L"  METRIC       The route's own metric, 1 to 9999.\r\n"
    L"  IF           The interface index the route leaves through.\r\n"
    L"\r\n";

ToolResult Usage() {
    return ToolResult{L"", kUsage, 1};
}

ToolResult Ok(const Machine& machine) {
    return ToolResult{std::wstring(LanguageOf(machine).routeDone) + L"\r\n", L"", 0};
}

ToolResult Failed(const Machine& machine, RouteMessage message) {
    return ToolResult{std::wstring(MessageIn(LanguageOf(machine), message)) + L"\r\n\r\n", L"", 1};
}

struct RouteArgs {
    std::wstring destination;
    std::wstring mask;
    std::wstring gateway;
    std::wstring metric;
    std::wstring interfaceIndex;
};

// Reads "<destination> [MASK m] [gateway] [METRIC n] [IF i]" in any order
// after the destination; false for a keyword without its value or a second
// gateway.
bool ReadRouteArgs(const std::vector<std::wstring>& words, RouteArgs& parsed) {
    if (words.size() < 2) {
        return false;
    }
    parsed.destination = words[1];
    for (std::size_t i = 2; i < words.size(); ++i) {
        const std::wstring keyword = ToLower(words[i]);
        std::wstring* target = nullptr;
        if (keyword == L"mask") {
            target = &parsed.mask;
        } else if (keyword == L"metric") {
            target = &parsed.metric;
        } else if (keyword == L"if") {
            target = &parsed.interfaceIndex;
        }
        if (target != nullptr) {
            if (i + 1 >= words.size() || !target->empty()) {
                return false;
            }
            *target = words[++i];
        } else if (parsed.gateway.empty()) {
            parsed.gateway = words[i];
        } else {
            return false;
        }
    }
    return true;
}

// Destination, mask and the optional gateway as numbers; false when one is
// not a dotted address.
bool ReadAddresses(const RouteArgs& a, std::uint32_t& dest, std::uint32_t& mask) {
    if (!ParseIpv4(a.destination, dest)) {
        return false;
    }
    mask = 0xFFFFFFFFu;
    if (!a.mask.empty() && !ParseIpv4(a.mask, mask)) {
        return false;
    }
    std::uint32_t gateway = 0;
    return a.gateway.empty() || ParseIpv4(a.gateway, gateway);
}

bool GatewayMatches(const Route& r, const std::wstring& gateway) {
    if (gateway == L"0.0.0.0") {
        return r.gateway == kOnLink;
    }
    return r.gateway == gateway;
}

std::wstring Canonical(std::uint32_t value) {
    return FormatIpv4(value);
}

bool OnInterfaceNetwork(const Interface& item, std::uint32_t gateway) {
    std::uint32_t own = 0;
    std::uint32_t mask = 0;
    return item.connected && ParseIpv4(item.address, own) && ParseIpv4(item.mask, mask) &&
           (own & mask) == (gateway & mask);
}

ToolResult Add(Machine& machine, const std::vector<std::wstring>& words, bool persistent) {
    RouteArgs a;
    std::uint32_t dest = 0;
    std::uint32_t mask = 0;
    if (!ReadRouteArgs(words, a) || a.gateway.empty() || !ReadAddresses(a, dest, mask)) {
        return Usage();
    }
    int metric = 0;
    if (!a.metric.empty() && (!ParseCount(a.metric, metric) || metric < 1 || metric > 9999)) {
        return Failed(machine, RouteMessage::AddParameter);
    }
    int index = 0;
    if (!a.interfaceIndex.empty() && !ParseCount(a.interfaceIndex, index)) {
        return Usage();
    }
    if ((dest & mask) != dest) {
        return Failed(machine, RouteMessage::AddMask);
    }
    std::uint32_t gatewayValue = 0;
    ParseIpv4(a.gateway, gatewayValue);
    const std::wstring gateway = Canonical(gatewayValue);
    const bool onLink = gatewayValue == 0;
    const Interface* item = nullptr;
    if (a.interfaceIndex.empty()) {
        if (onLink) {
            return Failed(machine, RouteMessage::AddParameter);
        }
        item = FindInterfaceForGateway(machine, gateway);
    } else {
        item = FindInterface(machine, index);
        if (item != nullptr && !onLink && !OnInterfaceNetwork(*item, gatewayValue)) {
            item = nullptr;
        }
    }
    if (item == nullptr) {
        return Failed(machine, RouteMessage::AddInterface);
    }
    const std::wstring destination = Canonical(dest);
    const std::wstring maskText = Canonical(mask);
    for (const Route& r : machine.routes) {
        if (r.destination == destination && r.mask == maskText && r.interfaceIndex == item->index &&
            GatewayMatches(r, gateway)) {
            return Failed(machine, RouteMessage::AddExists);
        }
    }
    machine.routes.push_back(Route{destination, maskText, onLink ? std::wstring(kOnLink) : gateway,
                                   item->index, metric, persistent});
    return Ok(machine);
}

ToolResult Delete(Machine& machine, const std::vector<std::wstring>& words) {
    RouteArgs a;
    std::uint32_t dest = 0;
    std::uint32_t mask = 0;
    int index = 0;
    if (!ReadRouteArgs(words, a) || !ReadAddresses(a, dest, mask) ||
        (!a.interfaceIndex.empty() && !ParseCount(a.interfaceIndex, index))) {
        return Usage();
    }
    if (!a.mask.empty() && (dest & mask) != dest) {
        return Failed(machine, RouteMessage::DeleteParameter);
    }
    const std::wstring destination = Canonical(dest);
    const std::wstring maskText = Canonical(mask);
    std::wstring gateway;
    if (!a.gateway.empty()) {
        std::uint32_t value = 0;
        ParseIpv4(a.gateway, value);
        gateway = Canonical(value);
    }
    auto matches = [&](const Route& r) {
        return r.destination == destination && (a.mask.empty() || r.mask == maskText) &&
               (gateway.empty() || GatewayMatches(r, gateway)) &&
               (a.interfaceIndex.empty() || r.interfaceIndex == index);
    };
    auto& routes = machine.routes;
    const auto kept = std::remove_if(routes.begin(), routes.end(), matches);
    if (kept == routes.end()) {
        return Failed(machine, RouteMessage::DeleteNotFound);
    }
    routes.erase(kept, routes.end());
    return Ok(machine);
}

ToolResult Change(Machine& machine, const std::vector<std::wstring>& words) {
    RouteArgs a;
    std::uint32_t dest = 0;
    std::uint32_t mask = 0;
    int metric = 0;
    int index = 0;
    if (!ReadRouteArgs(words, a) || a.gateway.empty() || !ReadAddresses(a, dest, mask) ||
        (!a.interfaceIndex.empty() && !ParseCount(a.interfaceIndex, index)) ||
        (!a.metric.empty() && !ParseCount(a.metric, metric))) {
        return Usage();
    }
    std::uint32_t gatewayValue = 0;
    ParseIpv4(a.gateway, gatewayValue);
    const std::wstring gateway = Canonical(gatewayValue);
    for (Route& r : machine.routes) {
        if (r.destination == Canonical(dest) && r.mask == Canonical(mask) &&
            (a.interfaceIndex.empty() || r.interfaceIndex == index) && GatewayMatches(r, gateway)) {
            r.metric = metric;
            return Ok(machine);
        }
    }
    return Failed(machine, RouteMessage::ChangeNotFound);
}

}  // namespace

ToolResult RunRoute(Machine& machine, const std::vector<std::wstring>& args) {
    std::vector<std::wstring> words;
    bool persistent = false;
    for (const std::wstring& arg : args) {
        const std::wstring lower = ToLower(arg);
        if (lower == L"-p") {
            persistent = true;
        } else if (lower == L"-6") {
            return ToolResult{L"", L"netsim route: IPv6 routes are not simulated.\r\n", 1};
        } else if (lower == L"-4" || lower == L"-f") {
            // -f would clear the gateway routes; nothing here relies on it.
        } else {
            words.push_back(arg);
        }
    }
    if (words.empty()) {
        return Usage();
    }
    const std::wstring command = ToLower(words[0]);
    if (command == L"print") {
        if (words.size() > 2) {
            return Usage();
        }
        return ToolResult{RenderRoutePrint(machine, words.size() == 2 ? words[1] : L""), L"", 0};
    }
    if (command == L"add") {
        return Add(machine, words, persistent);
    }
    if (command == L"delete") {
        return Delete(machine, words);
    }
    if (command == L"change") {
        return Change(machine, words);
    }
    return Usage();
}

}  // namespace netsim
