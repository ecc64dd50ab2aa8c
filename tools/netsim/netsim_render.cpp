#include "tools/netsim/netsim_render.h"

#include <algorithm>
#include <cstdint>

#include "tools/netsim/netsim_languages.h"

namespace netsim {
namespace {

constexpr wchar_t kCrLf[] = L"\r\n";

const std::wstring& Ruler() {
    static const std::wstring ruler(75, L'=');
    return ruler;
}

std::uint32_t Numeric(const std::wstring& address) {
    std::uint32_t value = 0;
    ParseIpv4(address, value);
    return value;
}

bool IsLoopback(const Interface& item) {
    return item.address == L"127.0.0.1";
}

std::wstring InterfaceListLine(const Interface& item) {
    std::wstring line = PadLeft(std::to_wstring(item.index), 3) + L"...";
    if (item.mac.empty()) {
        // The dots stand where "xx xx xx xx xx xx ......" would be.
        line += std::wstring(24, L'.');
    } else {
        line += item.mac + L" ......";
    }
    return line + item.description + kCrLf;
}

// Windows lists routes ordered by destination, then mask.
std::vector<const Route*> SortedRoutes(const Machine& machine, const std::wstring& filter) {
    std::vector<const Route*> sorted;
    for (const Route& r : machine.routes) {
        if (filter.empty() || r.destination == filter) {
            sorted.push_back(&r);
        }
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const Route* a, const Route* b) {
        const std::uint32_t da = Numeric(a->destination);
        const std::uint32_t db = Numeric(b->destination);
        if (da != db) {
            return da < db;
        }
        return Numeric(a->mask) < Numeric(b->mask);
    });
    return sorted;
}

}  // namespace

std::wstring PadLeft(const std::wstring& text, std::size_t width) {
    return text.size() >= width ? text : std::wstring(width - text.size(), L' ') + text;
}

std::wstring PadRight(const std::wstring& text, std::size_t width) {
    return text.size() >= width ? text : text + std::wstring(width - text.size(), L' ');
}

std::wstring RenderRoutePrint(const Machine& machine, const std::wstring& destinationFilter) {
    const Language& t = LanguageOf(machine);
    std::wstring out = Ruler() + kCrLf + t.interfaceList + kCrLf;
    // The loopback comes last in the interface list, after the adapters.
    for (const Interface& item : machine.interfaces) {
        if (!IsLoopback(item)) {
            out += InterfaceListLine(item);
        }
    }
    for (const Interface& item : machine.interfaces) {
        if (IsLoopback(item)) {
            out += InterfaceListLine(item);
        }
    }
    out += Ruler() + kCrLf + kCrLf + t.tableTitle + kCrLf + Ruler() + kCrLf;
    out += std::wstring(t.activeRoutes) + kCrLf + t.activeHeading + kCrLf;
    for (const Route* r : SortedRoutes(machine, destinationFilter)) {
        const Interface* item = FindInterface(machine, r->interfaceIndex);
        if (item == nullptr || !item->connected) {
            continue;
        }
        // The tool prints the on-link word with a blank after it, one
        // column short of the addresses' right edge.
        const std::wstring gateway =
            r->gateway == kOnLink ? std::wstring(t.onLink) + L" " : r->gateway;
        out += PadLeft(r->destination, 17) + PadLeft(r->mask, 17) + PadLeft(gateway, 17) +
               PadLeft(item->address, 17) + PadLeft(std::to_wstring(r->metric + item->metric), 7) +
               kCrLf;
    }
    out += Ruler() + kCrLf + t.persistentRoutes + kCrLf;
    bool anyPersistent = false;
    for (const Route* r : SortedRoutes(machine, destinationFilter)) {
        if (!r->persistent) {
            continue;
        }
        if (!anyPersistent) {
            out += std::wstring(t.persistentHeading) + kCrLf;
            anyPersistent = true;
        }
        const std::wstring gateway = r->gateway == kOnLink ? std::wstring(L"0.0.0.0") : r->gateway;
        const std::wstring metric = r->metric == 0 ? L"  " + std::wstring(t.defaultMetric)
                                                   : PadLeft(std::to_wstring(r->metric), 8);
        out += PadLeft(r->destination, 17) + PadLeft(r->mask, 17) + PadLeft(gateway, 17) + metric +
               kCrLf;
    }
    // A table of persistent routes is closed by a ruler; "None" is not.
    out += anyPersistent ? Ruler() + kCrLf : std::wstring(t.none) + kCrLf;
    return out;
}

std::wstring RenderInterfaceTable(const Machine& machine) {
    std::wstring out = kCrLf;
    out += LanguageOf(machine).interfaceHeading;
    out += kCrLf;
    out += L"---  ----------  ----------  ------------  ---------------------------";
    out += kCrLf;
    auto row = [&out](const Interface& item) {
        out += PadLeft(std::to_wstring(item.index), 3) + L"  " +
               PadLeft(std::to_wstring(item.metric), 10) + L"  " +
               PadLeft(std::to_wstring(item.mtu), 10) + L"  " +
               PadRight(item.connected ? L"connected" : L"disconnected", 12) + L"  " + item.name +
               kCrLf;
    };
    // netsh lists the loopback pseudo-interface first.
    for (const Interface& item : machine.interfaces) {
        if (IsLoopback(item)) {
            row(item);
        }
    }
    for (const Interface& item : machine.interfaces) {
        if (!IsLoopback(item)) {
            row(item);
        }
    }
    return out + kCrLf;
}

std::wstring RenderMachine(const Machine& machine) {
    std::wstring out = L"language: " + machine.language + kCrLf;
    out += L"interfaces (index, metric, MTU, state, address/mask, gateway, name | description):";
    out += kCrLf;
    for (const Interface& item : machine.interfaces) {
        out += PadLeft(std::to_wstring(item.index), 5) + PadLeft(std::to_wstring(item.metric), 5) +
               PadLeft(std::to_wstring(item.mtu), 11) + L"  " +
               PadRight(item.connected ? L"connected" : L"disconnected", 13) +
               PadRight(item.address + L"/" + item.mask, 33) +
               PadRight(item.gateway.empty() ? L"-" : item.gateway, 17) + item.name + L" | " +
               item.description + kCrLf;
    }
    if (machine.tunnelPending) {
        out += L"pending adapter " + machine.pendingTunnel.name + L" (index " +
               std::to_wstring(machine.pendingTunnel.index) + L", " +
               machine.pendingTunnel.address + L") appears after " +
               std::to_wstring(machine.tunnelCountdown) + L" more interface listing(s)" + kCrLf;
    }
    out += L"routes (destination, mask, gateway, interface, own metric):";
    out += kCrLf;
    for (const Route* r : SortedRoutes(machine, L"")) {
        out += PadLeft(r->destination, 17) + PadLeft(r->mask, 17) + PadLeft(r->gateway, 17) +
               PadLeft(std::to_wstring(r->interfaceIndex), 6) +
               PadLeft(std::to_wstring(r->metric), 6) + (r->persistent ? L"  persistent" : L"") +
               kCrLf;
    }
    for (const Failure& f : machine.failures) {
        out +=
            L"failure: commands containing \"" + f.pattern + L"\" print \"" + f.message + L"\" (" +
            (f.remaining < 0 ? std::wstring(L"always") : std::to_wstring(f.remaining) + L" more") +
            L")" + kCrLf;
    }
    out += L"interface listings so far: " + std::to_wstring(machine.interfaceListings) + kCrLf;
    if (machine.toolDelayMs > 0) {
        out += L"tools answer after " + std::to_wstring(machine.toolDelayMs) + L" ms" + kCrLf;
    }
    return out;
}

}  // namespace netsim
