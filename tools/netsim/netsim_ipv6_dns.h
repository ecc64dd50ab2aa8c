#pragma once
// The simulated machine's IPv6 routes and name resolution: netsh's IPv6
// route changes, the NRPT cmdlets, and which server the system resolver
// would ask.
#include <string>
#include <vector>

#include "tools/netsim/netsim_machine.h"
#include "tools/netsim/netsim_tools.h"

namespace netsim {

// "interface ipv6 add|delete route PREFIX interface=N [store=active|persistent]"
// (words in any case): true when `args` have that shape, and then `result`
// holds netsh's answer in the machine's language.
bool RunNetshIpv6Route(Machine& machine, const std::vector<std::wstring>& args, ToolResult& result);

// The NRPT scripts: "Add-DnsClientNrptRule -Namespace '.' -NameServers
// 'a','b' -Comment 'c'", "Get-DnsClientNrptRule" (a list of the rules,
// property names in English as PowerShell prints them in every language), and
// "Get-DnsClientNrptRule | Where-Object {$_.Comment -eq 'c'} |
// Remove-DnsClientNrptRule -Force". True when `script` is one of them.
bool RunNrptScript(Machine& machine, const std::wstring& script, ToolResult& result);

// Which server, through which interface, the resolver asks for `name`: the
// servers of the NRPT rule whose namespace holds the name ("." holds every
// name; the longest namespace wins), else those of the interface that holds
// the best IPv4 default route; the first server is asked, through the
// interface of the best IPv4 route to it. One line:
// "NAME: server S on interface N (ALIAS) by nrpt|interface", or
// "NAME: no DNS server".
ToolResult Resolve(const Machine& machine, const std::wstring& name);

// The IPv6 route table in netsim's own words, one route a line:
// "PREFIX if N via HOP active|persistent", and the NRPT rules:
// "nrpt NAMESPACE servers A,B comment C".
std::wstring RenderIpv6AndDns(const Machine& machine);

}  // namespace netsim
