#include "tools/netsim/netsim_control.h"

#include "tools/netsim/netsim_ipv6_dns.h"
#include "tools/netsim/netsim_reboot.h"
#include "tools/netsim/netsim_render.h"

namespace netsim {
namespace {

constexpr wchar_t kCrLf[] = L"\r\n";

Interface Loopback() {
    Interface item;
    item.index = 1;
    item.metric = 75;
    item.mtu = 4294967295u;
    item.address = L"127.0.0.1";
    item.mask = L"255.0.0.0";
    item.name = L"Loopback Pseudo-Interface 1";
    item.description = L"Software Loopback Interface 1";
    return item;
}

// The second uplink's network in "two-uplinks"; nothing moves there.
constexpr Network kWifiNetwork{L"wifi", L"192.168.50.220", L"255.255.255.0", L"192.168.50.254"};

Interface Uplink(int index, int metric, const wchar_t* mac, const Network& network,
                 const wchar_t* name, const wchar_t* description) {
    Interface item;
    item.index = index;
    item.metric = metric;
    item.mtu = 1500;
    item.mac = mac;
    JoinNetwork(item, network);
    item.name = name;
    item.description = description;
    return item;
}

ToolResult Reply(const std::wstring& text) {
    return ToolResult{text + kCrLf, L"", 0};
}

ToolResult Refuse(const std::wstring& text) {
    return ToolResult{L"", L"netsim: " + text + kCrLf + ControlUsage(), 2};
}

}  // namespace

Interface TunnelAdapter() {
    Interface item;
    item.index = 45;
    item.metric = 5;
    item.mtu = 1420;
    item.address = L"10.8.0.2";
    item.mask = L"255.255.255.0";
    item.name = L"velk_vpn0";
    item.dnsServers = {L"10.8.0.1"};
    item.description = L"Wintun Userspace Tunnel";
    return item;
}

bool MakeScenario(const std::wstring& name, Machine& machine) {
    Machine fresh;
    // The loopback comes up first, so its routes lead among equal destinations.
    AddInterface(fresh, Loopback());
    // Each uplink comes with its network's default route, as DHCP gives it.
    if (name == L"home" || name == L"two-uplinks") {
        AddInterface(fresh, Uplink(kUplinkIndex, 25, L"00 15 5d 4a 10 23", *FindNetwork(L"home"),
                                   L"Ethernet", L"Intel(R) Ethernet Connection (7) I219-V"));
    }
    if (name == L"two-uplinks") {
        AddInterface(fresh, Uplink(17, 35, L"3c 6a a7 91 0e 5b", kWifiNetwork, L"Wi-Fi",
                                   L"Intel(R) Wi-Fi 6 AX201 160MHz"));
    }
    if (fresh.interfaces.size() == 1) {
        return false;
    }
    machine = std::move(fresh);
    return true;
}

std::wstring ControlUsage() {
    const std::wstring maxDelay = std::to_wstring(kMaxToolDelayMs);
    return L"usage: netsim COMMAND\r\n"
           L"  reset [home|two-uplinks]       a fresh machine (default: home)\r\n"
           L"  show                           interfaces, routes, pending adapter, failures\r\n"
           L"  show-ipv6                      IPv6 routes and NRPT rules\r\n"
           L"  resolve NAME                   the DNS server and interface the resolver\r\n"
           L"                                 would use (NRPT rule first, else the\r\n"
           L"                                 servers of the default route's interface)\r\n"
           L"  journal [clear]                the tool command lines run so far\r\n"
           L"  tunnel-after N                 velk_vpn0 appears after N interface listings\r\n"
           L"  tunnel-up | tunnel-down        add or remove velk_vpn0 at once\r\n"
           L"  fail PATTERN MESSAGE [TIMES]   commands containing PATTERN print MESSAGE\r\n"
           L"                                 (exists, parameter, mask, interface, notfound,\r\n"
           L"                                 delete-parameter, elevation, silent, or a text)\r\n"
           L"  clear-failures                 forget every injected failure\r\n"
           L"  language CODE                  the language route and netsh print in\r\n"
           L"                                 (" +
           LanguageCodes() +
           L")\r\n"
           L"  delay MS                       route, netsh and powershell answer MS ms late,\r\n"
           L"                                 as on a slow machine (0 to " +
           maxDelay +
           L")\r\n"
           L"  hold [SECONDS] | held | release  keep a process alive in the prefix (default\r\n"
           L"                                 600 s), ask whether one is, end it\r\n"
           L"  reboot                         restart: only persistent routes stay, velk_vpn0\r\n"
           L"                                 is gone, each connected adapter gets its own\r\n"
           L"                                 routes and its network's default route back\r\n"
           L"                                 (IPv6 ::/0 too); NRPT rules stay\r\n"
           L"  move home|office               Ethernet joins that network (home 192.168.1.23\r\n"
           L"                                 via 192.168.1.1, office 172.20.4.61 via\r\n"
           L"                                 172.20.4.1), then the machine restarts\r\n";
}

ToolResult RunControl(Machine& machine, const std::vector<std::wstring>& args) {
    if (args.empty()) {
        return Refuse(L"no command");
    }
    const std::wstring command = ToLower(args[0]);
    if (command == L"reset" && args.size() <= 2) {
        const std::wstring name = args.size() == 2 ? ToLower(args[1]) : L"home";
        if (!MakeScenario(name, machine)) {
            return Refuse(L"unknown scenario " + name);
        }
        return Reply(L"machine reset: " + name);
    }
    if (command == L"show" && args.size() == 1) {
        return ToolResult{RenderMachine(machine), L"", 0};
    }
    if (command == L"show-ipv6" && args.size() == 1) {
        return ToolResult{RenderIpv6AndDns(machine), L"", 0};
    }
    if (command == L"resolve" && args.size() == 2) {
        return Resolve(machine, args[1]);
    }
    if (command == L"journal" && args.size() == 1) {
        std::wstring out;
        for (const std::wstring& line : machine.journal) {
            out += line + kCrLf;
        }
        return ToolResult{out, L"", 0};
    }
    if (command == L"journal" && args.size() == 2 && ToLower(args[1]) == L"clear") {
        machine.journal.clear();
        return Reply(L"journal cleared");
    }
    if (command == L"tunnel-after" && args.size() == 2) {
        int count = 0;
        if (!ParseCount(args[1], count)) {
            return Refuse(L"tunnel-after needs a count");
        }
        RemoveInterface(machine, TunnelAdapter().index);
        machine.tunnelPending = true;
        machine.tunnelCountdown = count;
        machine.pendingTunnel = TunnelAdapter();
        return Reply(L"velk_vpn0 appears after " + args[1] + L" interface listing(s)");
    }
    if (command == L"tunnel-up" && args.size() == 1) {
        machine.tunnelPending = false;
        AddInterface(machine, TunnelAdapter());
        return Reply(L"velk_vpn0 is up");
    }
    if (command == L"tunnel-down" && args.size() == 1) {
        machine.tunnelPending = false;
        RemoveInterface(machine, TunnelAdapter().index);
        return Reply(L"velk_vpn0 is gone");
    }
    if (command == L"fail" && (args.size() == 3 || args.size() == 4)) {
        Failure failure{args[1], FailureMessageByName(args[2], LanguageOf(machine)), -1};
        if (args.size() == 4 &&
            (!ParseCount(args[3], failure.remaining) || failure.remaining == 0)) {
            return Refuse(L"fail needs a positive count of times");
        }
        if (failure.pattern.empty()) {
            return Refuse(L"fail needs a pattern");
        }
        machine.failures.push_back(failure);
        return Reply(L"commands containing \"" + failure.pattern + L"\" now fail");
    }
    if (command == L"clear-failures" && args.size() == 1) {
        machine.failures.clear();
        return Reply(L"failures cleared");
    }
    if (command == L"language" && args.size() == 2) {
        const std::wstring language = ToLower(args[1]);
        if (FindLanguage(language) == nullptr) {
            return Refuse(L"languages: " + LanguageCodes());
        }
        machine.language = language;
        return Reply(L"route prints in " + language);
    }
    if (command == L"reboot" && args.size() == 1) {
        Reboot(machine);
        return Reply(L"machine restarted");
    }
    if (command == L"move" && args.size() == 2) {
        const std::wstring name = ToLower(args[1]);
        const Network* network = FindNetwork(name);
        if (network == nullptr) {
            return Refuse(L"unknown network " + name);
        }
        if (!MoveUplink(machine, *network)) {
            return Refuse(L"the machine has no Ethernet adapter to move");
        }
        return Reply(L"Ethernet moved to " + name + L" and the machine restarted");
    }
    if (command == L"delay" && args.size() == 2) {
        int delayMs = 0;
        if (!ParseCount(args[1], delayMs) || delayMs > kMaxToolDelayMs) {
            return Refuse(L"delay takes milliseconds, 0 to " + std::to_wstring(kMaxToolDelayMs));
        }
        machine.toolDelayMs = delayMs;
        return Reply(L"route, netsh and powershell answer after " + std::to_wstring(delayMs) +
                     L" ms");
    }
    return Refuse(L"cannot run \"" + JoinCommandLine(L"netsim", args) + L"\"");
}

}  // namespace netsim
