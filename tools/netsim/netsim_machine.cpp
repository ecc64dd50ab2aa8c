#include "tools/netsim/netsim_machine.h"

#include <algorithm>
#include <cwctype>

#include "tools/config_text.h"

namespace netsim {
namespace {

constexpr wchar_t kTab = L'\t';

std::vector<std::wstring> SplitFields(const std::wstring& line) {
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find(kTab, start);
        if (tab == std::wstring::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

// Tabs and line ends would break the record they are stored in.
std::wstring Clean(std::wstring text) {
    for (wchar_t& c : text) {
        if (c == L'\t' || c == L'\r' || c == L'\n') {
            c = L' ';
        }
    }
    return text;
}

bool ParseSigned(const std::wstring& text, int& value) {
    if (!text.empty() && text[0] == L'-') {
        int magnitude = 0;
        if (!ParseCount(text.substr(1), magnitude)) {
            return false;
        }
        value = -magnitude;
        return true;
    }
    return ParseCount(text, value);
}

// A list as one field: its items joined by commas, "-" when empty.
std::wstring JoinList(const std::vector<std::wstring>& items) {
    std::wstring out;
    for (const std::wstring& item : items) {
        out += (out.empty() ? L"" : L",") + Clean(item);
    }
    return out.empty() ? L"-" : out;
}

std::vector<std::wstring> SplitList(const std::wstring& field) {
    std::vector<std::wstring> items;
    if (field == L"-") {
        return items;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = field.find(L',', start);
        items.push_back(field.substr(start, comma == std::wstring::npos ? comma : comma - start));
        if (comma == std::wstring::npos) {
            return items;
        }
        start = comma + 1;
    }
}

void AppendInterfaceFields(std::wstring& out, const Interface& item) {
    out += std::to_wstring(item.index) + kTab + std::to_wstring(item.metric) + kTab +
           std::to_wstring(item.mtu) + kTab + (item.connected ? L"connected" : L"disconnected") +
           kTab + (item.mac.empty() ? L"-" : Clean(item.mac)) + kTab + Clean(item.address) + kTab +
           Clean(item.mask) + kTab + Clean(item.name) + kTab + Clean(item.description) + kTab +
           (item.gateway.empty() ? L"-" : Clean(item.gateway)) + kTab + JoinList(item.dnsServers);
}

bool ParseInterfaceFields(const std::vector<std::wstring>& f, std::size_t first, Interface& item) {
    // Nine fields, the gateway as a tenth since interfaces remember it, and
    // the DNS servers as an eleventh since they have them.
    const bool withDns = f.size() == first + 11;
    const bool withGateway = f.size() == first + 10 || withDns;
    if (f.size() != first + 9 && !withGateway) {
        return false;
    }
    std::uint32_t ignored = 0;
    if (withGateway && f[first + 9] != L"-" && !ParseIpv4(f[first + 9], ignored)) {
        return false;
    }
    if (!ParseCount(f[first], item.index) || !ParseSigned(f[first + 1], item.metric) ||
        !velk::tools::ParseUint32(f[first + 2], item.mtu) || !ParseIpv4(f[first + 5], ignored) ||
        !ParseIpv4(f[first + 6], ignored)) {
        return false;
    }
    if (f[first + 3] != L"connected" && f[first + 3] != L"disconnected") {
        return false;
    }
    item.connected = f[first + 3] == L"connected";
    item.mac = f[first + 4] == L"-" ? L"" : f[first + 4];
    item.address = f[first + 5];
    item.mask = f[first + 6];
    item.name = f[first + 7];
    item.description = f[first + 8];
    item.gateway = withGateway && f[first + 9] != L"-" ? f[first + 9] : L"";
    item.dnsServers = withDns ? SplitList(f[first + 10]) : std::vector<std::wstring>{};
    for (const std::wstring& server : item.dnsServers) {
        if (!ParseIpv4(server, ignored)) {
            return false;
        }
    }
    return true;
}

void AddOnLinkRoute(Machine& machine, std::uint32_t destination, std::uint32_t mask, int index) {
    machine.routes.push_back(Route{FormatIpv4(destination), FormatIpv4(mask), kOnLink, index,
                                   kOnLinkRouteMetric, false});
}

}  // namespace

bool ParseIpv4(const std::wstring& text, std::uint32_t& value) {
    std::uint32_t result = 0;
    int parts = 0;
    std::size_t i = 0;
    while (parts < 4) {
        std::uint32_t part = 0;
        std::size_t digits = 0;
        while (i < text.size() && text[i] >= L'0' && text[i] <= L'9' && digits < 4) {
            part = part * 10 + static_cast<std::uint32_t>(text[i] - L'0');
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 3 || part > 255) {
            return false;
        }
        result = (result << 8) | part;
        ++parts;
        if (parts < 4) {
            if (i >= text.size() || text[i] != L'.') {
                return false;
            }
            ++i;
        }
    }
    if (i != text.size()) {
        return false;
    }
    value = result;
    return true;
}

std::wstring FormatIpv4(std::uint32_t value) {
    return std::to_wstring(value >> 24) + L"." + std::to_wstring((value >> 16) & 0xFF) + L"." +
           std::to_wstring((value >> 8) & 0xFF) + L"." + std::to_wstring(value & 0xFF);
}

bool ParseCount(const std::wstring& text, int& value) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    int result = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        result = result * 10 + (c - L'0');
    }
    value = result;
    return true;
}

std::wstring ToLower(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

const Interface* FindInterface(const Machine& machine, int index) {
    for (const Interface& item : machine.interfaces) {
        if (item.index == index) {
            return &item;
        }
    }
    return nullptr;
}

const Interface* FindInterfaceByAddress(const Machine& machine, const std::wstring& address) {
    for (const Interface& item : machine.interfaces) {
        if (item.address == address) {
            return &item;
        }
    }
    return nullptr;
}

const Interface* FindInterfaceForGateway(const Machine& machine, const std::wstring& address) {
    std::uint32_t gateway = 0;
    if (!ParseIpv4(address, gateway)) {
        return nullptr;
    }
    for (const Interface& item : machine.interfaces) {
        std::uint32_t own = 0;
        std::uint32_t mask = 0;
        if (item.connected && ParseIpv4(item.address, own) && ParseIpv4(item.mask, mask) &&
            (own & mask) == (gateway & mask)) {
            return &item;
        }
    }
    return nullptr;
}

void AddInterface(Machine& machine, const Interface& added) {
    RemoveInterface(machine, added.index);
    machine.interfaces.push_back(added);
    AddInterfaceRoutes(machine, added);
}

void AddInterfaceRoutes(Machine& machine, const Interface& item) {
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
    if (!ParseIpv4(item.address, address) || !ParseIpv4(item.mask, mask)) {
        return;
    }
    const std::uint32_t host = 0xFFFFFFFFu;
    AddOnLinkRoute(machine, address & mask, mask, item.index);
    if (mask != host) {
        AddOnLinkRoute(machine, address, host, item.index);
        AddOnLinkRoute(machine, (address & mask) | ~mask, host, item.index);
    }
    AddOnLinkRoute(machine, 0xE0000000u, 0xF0000000u, item.index);
    AddOnLinkRoute(machine, host, host, item.index);
    if (!item.gateway.empty()) {
        // Metric 0: automatic, as for the route DHCP gives.
        machine.routes.push_back(Route{L"0.0.0.0", L"0.0.0.0", item.gateway, item.index, 0, false});
        machine.routes6.push_back(Route6{L"::/0", item.index, kIpv6Router, false});
    }
}

void RemoveInterface(Machine& machine, int index) {
    auto& items = machine.interfaces;
    items.erase(std::remove_if(items.begin(), items.end(),
                               [index](const Interface& i) { return i.index == index; }),
                items.end());
    auto& routes = machine.routes;
    routes.erase(std::remove_if(routes.begin(), routes.end(),
                                [index](const Route& r) { return r.interfaceIndex == index; }),
                 routes.end());
    auto& routes6 = machine.routes6;
    routes6.erase(std::remove_if(routes6.begin(), routes6.end(),
                                 [index](const Route6& r) { return r.interfaceIndex == index; }),
                  routes6.end());
}

std::wstring SerializeMachine(const Machine& machine) {
    std::wstring out = L"# velk-netsim machine\n";
    out += L"language\t" + Clean(machine.language) + L"\n";
    out += L"listings\t" + std::to_wstring(machine.interfaceListings) + L"\n";
    out += L"delay\t" + std::to_wstring(machine.toolDelayMs) + L"\n";
    for (const Interface& item : machine.interfaces) {
        out += L"interface\t";
        AppendInterfaceFields(out, item);
        out += L"\n";
    }
    if (machine.tunnelPending) {
        out += L"pending-interface\t" + std::to_wstring(machine.tunnelCountdown) + kTab;
        AppendInterfaceFields(out, machine.pendingTunnel);
        out += L"\n";
    }
    for (const Route& r : machine.routes) {
        out += L"route\t" + r.destination + kTab + r.mask + kTab + r.gateway + kTab +
               std::to_wstring(r.interfaceIndex) + kTab + std::to_wstring(r.metric) + kTab +
               (r.persistent ? L"persistent" : L"active") + L"\n";
    }
    for (const Route6& r : machine.routes6) {
        out += L"route6\t" + Clean(r.prefix) + kTab + std::to_wstring(r.interfaceIndex) + kTab +
               Clean(r.nextHop) + kTab + (r.persistent ? L"persistent" : L"active") + L"\n";
    }
    for (const NrptRule& rule : machine.nrptRules) {
        out += L"nrpt\t" + Clean(rule.nameSpace) + kTab + JoinList(rule.servers) + kTab +
               (rule.comment.empty() ? L"-" : Clean(rule.comment)) + L"\n";
    }
    for (const Failure& f : machine.failures) {
        out += L"fail\t" + std::to_wstring(f.remaining) + kTab + Clean(f.pattern) + kTab +
               Clean(f.message) + L"\n";
    }
    for (const std::wstring& line : machine.journal) {
        out += L"journal\t" + Clean(line) + L"\n";
    }
    return out;
}

bool ParseMachine(const std::wstring& text, Machine& machine, std::wstring& error) {
    Machine parsed;
    for (const velk::tools::ConfigLine& line : velk::tools::ConfigLines(text)) {
        const std::vector<std::wstring> f = SplitFields(line.text);
        bool ok = false;
        if (f[0] == L"language" && f.size() == 2) {
            parsed.language = f[1];
            ok = true;
        } else if (f[0] == L"listings" && f.size() == 2) {
            ok = ParseCount(f[1], parsed.interfaceListings);
        } else if (f[0] == L"delay" && f.size() == 2) {
            ok = ParseCount(f[1], parsed.toolDelayMs) && parsed.toolDelayMs <= kMaxToolDelayMs;
        } else if (f[0] == L"interface") {
            Interface item;
            ok = ParseInterfaceFields(f, 1, item);
            if (ok) {
                parsed.interfaces.push_back(item);
            }
        } else if (f[0] == L"pending-interface" && f.size() > 2) {
            ok = ParseCount(f[1], parsed.tunnelCountdown) &&
                 ParseInterfaceFields(f, 2, parsed.pendingTunnel);
            parsed.tunnelPending = ok;
        } else if (f[0] == L"route" && f.size() == 7) {
            Route r;
            std::uint32_t ignored = 0;
            ok = ParseIpv4(f[1], ignored) && ParseIpv4(f[2], ignored) &&
                 (f[3] == kOnLink || ParseIpv4(f[3], ignored)) &&
                 ParseCount(f[4], r.interfaceIndex) && ParseCount(f[5], r.metric) &&
                 (f[6] == L"persistent" || f[6] == L"active");
            if (ok) {
                r.destination = f[1];
                r.mask = f[2];
                r.gateway = f[3];
                r.persistent = f[6] == L"persistent";
                parsed.routes.push_back(r);
            }
        } else if (f[0] == L"route6" && f.size() == 5) {
            Route6 r{f[1], 0, f[3], f[4] == L"persistent"};
            ok = ParseCount(f[2], r.interfaceIndex) && (f[4] == L"persistent" || f[4] == L"active");
            if (ok) {
                parsed.routes6.push_back(r);
            }
        } else if (f[0] == L"nrpt" && f.size() == 4) {
            parsed.nrptRules.push_back(NrptRule{f[1], SplitList(f[2]), f[3] == L"-" ? L"" : f[3]});
            ok = true;
        } else if (f[0] == L"fail" && f.size() == 4) {
            Failure failure;
            ok = ParseSigned(f[1], failure.remaining);
            failure.pattern = f[2];
            failure.message = f[3];
            if (ok) {
                parsed.failures.push_back(failure);
            }
        } else if (f[0] == L"journal" && f.size() == 2) {
            parsed.journal.push_back(f[1]);
            ok = true;
        }
        if (!ok) {
            error =
                L"line " + std::to_wstring(line.number) + L": cannot read \"" + line.text + L"\"";
            return false;
        }
    }
    machine = std::move(parsed);
    return true;
}

}  // namespace netsim
