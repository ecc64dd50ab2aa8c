#include "tools/netsim/netsim_ipv6_dns.h"

#include <algorithm>
#include <cstdint>

#include "tools/netsim/netsim_languages.h"

namespace netsim {
namespace {

constexpr wchar_t kCrLf[] = L"\r\n";
constexpr wchar_t kAddRuleHead[] = L"Add-DnsClientNrptRule -Namespace '";
constexpr wchar_t kGetRules[] = L"Get-DnsClientNrptRule";
constexpr wchar_t kRemoveHead[] = L"Get-DnsClientNrptRule | Where-Object {$_.Comment -eq '";
constexpr wchar_t kRemoveTail[] = L"'} | Remove-DnsClientNrptRule -Force";

bool StartsWithNoCase(const std::wstring& text, const std::wstring& head) {
    return text.size() >= head.size() && ToLower(text.substr(0, head.size())) == ToLower(head);
}

// "key=value" with the key in any case; false for another key.
bool ValueOf(const std::wstring& arg, const wchar_t* key, std::wstring& value) {
    const std::wstring head = std::wstring(key) + L"=";
    if (!StartsWithNoCase(arg, head)) {
        return false;
    }
    value = arg.substr(head.size());
    return true;
}

// The text between apostrophes at `position`, moving past the closing one.
bool QuotedAt(const std::wstring& text, std::size_t& position, std::wstring& value) {
    if (position >= text.size() || text[position] != L'\'') {
        return false;
    }
    const std::size_t end = text.find(L'\'', position + 1);
    if (end == std::wstring::npos) {
        return false;
    }
    value = text.substr(position + 1, end - position - 1);
    position = end + 1;
    return true;
}

bool Expect(const std::wstring& text, std::size_t& position, const std::wstring& word) {
    if (text.compare(position, word.size(), word) != 0) {
        return false;
    }
    position += word.size();
    return true;
}

// "Add-DnsClientNrptRule -Namespace 'N' -NameServers 'a','b' -Comment 'c'".
bool ParseAddRule(const std::wstring& script, NrptRule& rule) {
    std::size_t at = std::wstring(kAddRuleHead).size() - 1;
    if (!StartsWithNoCase(script, kAddRuleHead) || !QuotedAt(script, at, rule.nameSpace) ||
        !Expect(script, at, L" -NameServers ")) {
        return false;
    }
    std::wstring server;
    while (QuotedAt(script, at, server)) {
        std::uint32_t ignored = 0;
        if (!ParseIpv4(server, ignored)) {
            return false;
        }
        rule.servers.push_back(server);
        if (!Expect(script, at, L",")) {
            break;
        }
    }
    return !rule.servers.empty() && Expect(script, at, L" -Comment ") &&
           QuotedAt(script, at, rule.comment) && at == script.size();
}

std::wstring JoinServers(const std::vector<std::wstring>& servers) {
    std::wstring out;
    for (const std::wstring& server : servers) {
        out += (out.empty() ? L"" : L",") + server;
    }
    return out;
}

// The rule list as Get-DnsClientNrptRule formats it: one block of
// properties per rule, a blank line between.
std::wstring RenderRules(const Machine& machine) {
    std::wstring out;
    int number = 0;
    for (const NrptRule& rule : machine.nrptRules) {
        out += kCrLf;
        out += L"Name                             : {netsim-rule-" + std::to_wstring(++number) +
               L"}" + kCrLf;
        out += L"Version                          : 2" + std::wstring(kCrLf);
        out += L"Namespace                        : {" + rule.nameSpace + L"}" + kCrLf;
        out += L"IPsecCARestriction               : " + std::wstring(kCrLf);
        out += L"DirectAccessDnsServers           : " + std::wstring(kCrLf);
        out += L"DirectAccessEnabled              : False" + std::wstring(kCrLf);
        out += L"DirectAccessProxyType            : " + std::wstring(kCrLf);
        out += L"DirectAccessProxyName            : " + std::wstring(kCrLf);
        out += L"DirectAccessQueryIPsecEncryption : " + std::wstring(kCrLf);
        out += L"DirectAccessQueryIPsecRequired   : False" + std::wstring(kCrLf);
        out += L"NameServers                      : " + JoinServers(rule.servers) + kCrLf;
        out += L"DnsSecEnabled                    : False" + std::wstring(kCrLf);
        out += L"DnsSecQueryIPsecEncryption       : " + std::wstring(kCrLf);
        out += L"DnsSecQueryIPsecRequired         : False" + std::wstring(kCrLf);
        out += L"DnsSecValidationRequired         : False" + std::wstring(kCrLf);
        out += L"NameEncoding                     : Utf8WithoutMapping" + std::wstring(kCrLf);
        out += L"Comment                          : " + rule.comment + kCrLf;
        out += L"DisplayName                      : " + std::wstring(kCrLf);
    }
    return out.empty() ? out : out + kCrLf;
}

// Does `name` lie under `nameSpace`? "." holds every name; ".corp.example"
// and "corp.example" hold that name and the names below it.
bool InNamespace(const std::wstring& name, std::wstring nameSpace) {
    if (nameSpace == L".") {
        return true;
    }
    if (!nameSpace.empty() && nameSpace[0] == L'.') {
        nameSpace = nameSpace.substr(1);
    }
    const std::wstring n = ToLower(name);
    const std::wstring s = ToLower(nameSpace);
    return n == s || (n.size() > s.size() && n.compare(n.size() - s.size(), s.size(), s) == 0 &&
                      n[n.size() - s.size() - 1] == L'.');
}

int MaskBits(std::uint32_t mask) {
    int bits = 0;
    while (mask & 0x80000000u) {
        ++bits;
        mask <<= 1;
    }
    return bits;
}

// The route the machine would send to `address` by: the longest matching
// prefix, then the lowest metric (route plus interface), as Windows picks.
const Route* BestRoute(const Machine& machine, std::uint32_t address) {
    const Route* best = nullptr;
    int bestBits = -1;
    int bestMetric = 0;
    for (const Route& route : machine.routes) {
        std::uint32_t destination = 0;
        std::uint32_t mask = 0;
        const Interface* item = FindInterface(machine, route.interfaceIndex);
        if (item == nullptr || !item->connected || !ParseIpv4(route.destination, destination) ||
            !ParseIpv4(route.mask, mask) || (address & mask) != destination) {
            continue;
        }
        const int bits = MaskBits(mask);
        const int metric = route.metric + item->metric;
        if (bits > bestBits || (bits == bestBits && metric < bestMetric)) {
            best = &route;
            bestBits = bits;
            bestMetric = metric;
        }
    }
    return best;
}

}  // namespace

bool RunNetshIpv6Route(Machine& machine, const std::vector<std::wstring>& args,
                       ToolResult& result) {
    if (args.size() < 6 || args.size() > 7 || ToLower(args[0]) != L"interface" ||
        ToLower(args[1]) != L"ipv6" || ToLower(args[3]) != L"route") {
        return false;
    }
    const std::wstring verb = ToLower(args[2]);
    std::wstring indexText;
    std::wstring store = L"persistent";
    int index = 0;
    if ((verb != L"add" && verb != L"delete") || !ValueOf(args[5], L"interface", indexText) ||
        !ParseCount(indexText, index) || (args.size() == 7 && !ValueOf(args[6], L"store", store))) {
        return false;
    }
    store = ToLower(store);
    if (store != L"active" && store != L"persistent") {
        return false;
    }
    const Language& language = LanguageOf(machine);
    const std::wstring& prefix = args[4];
    auto& routes = machine.routes6;
    auto same = std::find_if(routes.begin(), routes.end(), [&](const Route6& r) {
        return ToLower(r.prefix) == ToLower(prefix) && r.interfaceIndex == index;
    });
    const bool interfaceExists = FindInterface(machine, index) != nullptr;
    const auto answer = [&result](const wchar_t* text, int code) {
        result = ToolResult{std::wstring(text) + kCrLf + kCrLf, L"", code};
    };
    if (verb == L"add") {
        if (!interfaceExists) {
            answer(language.netshNotFound, 1);
        } else if (same != routes.end()) {
            answer(language.netshExists, 1);
        } else {
            routes.push_back(Route6{prefix, index, kIpv6OnLink, store == L"persistent"});
            answer(language.netshOk, 0);
        }
        return true;
    }
    if (same == routes.end()) {
        answer(language.netshNotFound, 1);
    } else {
        routes.erase(same);
        answer(language.netshOk, 0);
    }
    return true;
}

bool RunNrptScript(Machine& machine, const std::wstring& script, ToolResult& result) {
    NrptRule rule;
    if (ParseAddRule(script, rule)) {
        machine.nrptRules.push_back(rule);
        result = ToolResult{};
        return true;
    }
    if (ToLower(script) == ToLower(kGetRules)) {
        result = ToolResult{RenderRules(machine), L"", 0};
        return true;
    }
    std::size_t at = std::wstring(kRemoveHead).size() - 1;
    std::wstring comment;
    if (StartsWithNoCase(script, kRemoveHead) && QuotedAt(script, at, comment) &&
        ToLower(script.substr(at - 1)) == ToLower(kRemoveTail)) {
        auto& rules = machine.nrptRules;
        rules.erase(std::remove_if(rules.begin(), rules.end(),
                                   [&](const NrptRule& r) { return r.comment == comment; }),
                    rules.end());
        result = ToolResult{};
        return true;
    }
    return false;
}

ToolResult Resolve(const Machine& machine, const std::wstring& name) {
    std::vector<std::wstring> servers;
    std::wstring source = L"interface";
    std::size_t longest = 0;
    for (const NrptRule& rule : machine.nrptRules) {
        if (InNamespace(name, rule.nameSpace) &&
            (servers.empty() || rule.nameSpace.size() > longest)) {
            servers = rule.servers;
            longest = rule.nameSpace.size();
            source = L"nrpt";
        }
    }
    if (servers.empty()) {
        if (const Route* route = BestRoute(machine, 0x08080808u)) {
            // Any address outside the local networks goes by the default route.
            if (route->destination == L"0.0.0.0") {
                servers = FindInterface(machine, route->interfaceIndex)->dnsServers;
            }
        }
    }
    std::uint32_t address = 0;
    const Route* path =
        !servers.empty() && ParseIpv4(servers[0], address) ? BestRoute(machine, address) : nullptr;
    if (path == nullptr) {
        return ToolResult{name + L": no DNS server" + kCrLf, L"", 1};
    }
    const Interface* item = FindInterface(machine, path->interfaceIndex);
    return ToolResult{name + L": server " + servers[0] + L" on interface " +
                          std::to_wstring(item->index) + L" (" + item->name + L") by " + source +
                          kCrLf,
                      L"", 0};
}

std::wstring RenderIpv6AndDns(const Machine& machine) {
    std::wstring out;
    for (const Route6& r : machine.routes6) {
        out += r.prefix + L" if " + std::to_wstring(r.interfaceIndex) + L" via " + r.nextHop +
               (r.persistent ? L" persistent" : L" active") + kCrLf;
    }
    for (const NrptRule& rule : machine.nrptRules) {
        out += L"nrpt " + rule.nameSpace + L" servers " + JoinServers(rule.servers) + L" comment " +
               rule.comment + kCrLf;
    }
    return out;
}

}  // namespace netsim
