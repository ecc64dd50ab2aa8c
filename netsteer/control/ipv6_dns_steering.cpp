#include "netsteer/control/ipv6_dns_steering.h"

#include "netsteer/control/control_messages.h"
#include "netsteer/machine/system_commands.h"
#include "netsteer/machine/text_utils.h"
#include "netsteer/netsteer_constants.h"

namespace netsteer {
namespace {

// What these commands print is not read: an IPv6 route or DNS rule that is
// already there, or already gone, is the outcome wanted.
void RunAll(ControlSystem& system, const std::vector<std::wstring>& commands) {
    for (const std::wstring& command : commands) {
        static_cast<void>(system.RunCommand(command));
    }
}

std::vector<std::wstring> Ipv6HalfRouteCommands(bool add, int tunnelIndex) {
    std::vector<std::wstring> commands;
    for (const wchar_t* half : kTunnelIpv6Halves) {
        commands.push_back(Ipv6RouteCommand(add, half, tunnelIndex));
    }
    return commands;
}

std::vector<std::wstring> AddDnsRuleCommands(const std::vector<std::wstring>& dnsServers) {
    return {AddNrptRuleCommand(dnsServers), FlushDnsCommand()};
}

}  // namespace

std::vector<std::wstring> SteerIpv6DnsCommands(int tunnelIndex,
                                               const std::vector<std::wstring>& dnsServers) {
    std::vector<std::wstring> commands = Ipv6HalfRouteCommands(true, tunnelIndex);
    if (!dnsServers.empty()) {
        for (const std::wstring& command : AddDnsRuleCommands(dnsServers)) {
            commands.push_back(command);
        }
    }
    return commands;
}

std::vector<std::wstring> UndoIpv6DnsCommands(const RouteState& saved) {
    std::vector<std::wstring> commands;
    if (saved.ipv6TunnelIndex > 0) {
        commands = Ipv6HalfRouteCommands(false, saved.ipv6TunnelIndex);
    }
    if (saved.nrptRule) {
        commands.push_back(RemoveNrptRulesCommand());
        commands.push_back(FlushDnsCommand());
    }
    return commands;
}

void SteerIpv6AndDns(ControlSystem& system, RouteState ipv4Record, int tunnelIndex,
                     const std::vector<std::wstring>& dnsServers) {
    ipv4Record.ipv6TunnelIndex = tunnelIndex;
    ipv4Record.nrptRule = !dnsServers.empty();
    // Recorded first, so that `stop` and the service's restore find what a
    // run ended half-way may have added.
    if (!SaveState(system.StateFilePath(), ipv4Record)) {
        system.Log(kMsgIpv6DnsNotRecorded);
        return;
    }
    RunAll(system, Ipv6HalfRouteCommands(true, tunnelIndex));
    system.Log(kMsgAddIpv6RoutesDone);
    if (dnsServers.empty()) {
        system.Log(kMsgDnsNotSteered);
        return;
    }
    RunAll(system, AddDnsRuleCommands(dnsServers));
    system.Log(kMsgAddNrptRuleDone);
}

void UndoIpv6AndDns(ControlSystem& system, const RouteState& saved) {
    const std::vector<std::wstring> commands = UndoIpv6DnsCommands(saved);
    if (commands.empty()) {
        return;
    }
    RunAll(system, commands);
    system.Log(kMsgUndoIpv6DnsDone);
}

void ClearTaggedDnsRules(ControlSystem& system) {
    RunAll(system, {RemoveNrptRulesCommand(), FlushDnsCommand()});
    system.Log(kMsgClearDnsRulesDone);
}

}  // namespace netsteer
