#pragma once
// Every command line that netsteer hands to the command interpreter, each
// composed here and nowhere else. Integers are written in decimal without
// padding, with a leading "-" when negative.
#include <string>
#include <vector>

#include "netsteer/machine/route_change.h"

namespace netsteer {

// "route print -4"
std::wstring RoutePrintCommand();
// "netsh interface ipv4 show interfaces"
std::wstring ShowInterfacesCommand();
// "route add|delete <destination>", then " mask <mask>", " <gateway>",
// " if <index>" and " metric <metric>" for each field the route names, in
// that order: "route add 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45 metric 1",
// "route delete 203.0.113.7".
std::wstring RouteCommand(const RouteChange& change);
// The PowerShell Get-NetIPAddress query for the interface that owns `address`.
std::wstring UplinkIndexQueryCommand(const std::wstring& address);
// The PowerShell Get-NetIPAddress query for the IPv4 addresses of the
// interface with that index, one a line.
std::wstring InterfaceAddressesQueryCommand(int interfaceIndex);

// "netsh interface ipv6 add|delete route <prefix> interface=<index> store=active"
std::wstring Ipv6RouteCommand(bool add, const std::wstring& prefix, int interfaceIndex);
// The PowerShell Add-DnsClientNrptRule for the namespace "." with these
// servers (plain dotted addresses, each between apostrophes), tagged with
// kNrptRuleComment.
std::wstring AddNrptRuleCommand(const std::vector<std::wstring>& servers);
// The PowerShell pipeline that removes every NRPT rule tagged with
// kNrptRuleComment; prints nothing when there is none.
std::wstring RemoveNrptRulesCommand();
// "ipconfig /flushdns"
std::wstring FlushDnsCommand();

}  // namespace netsteer
