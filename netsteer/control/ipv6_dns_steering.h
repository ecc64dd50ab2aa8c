#pragma once
// What `start` adds after the IPv4 routes, and what undoes it: the two
// halves of the IPv6 space through the tunnel (active store only), and a
// catch-all NRPT rule naming the tunnel's DNS servers, with the resolver's
// cache flushed after each DNS change.
#include <string>
#include <vector>

#include "netsteer/control/control_system.h"
#include "netsteer/control/route_state.h"
#include "netsteer/machine/dns_server_list.h"

namespace netsteer {

// The command lines that steer IPv6, and DNS when servers are given, into
// the tunnel, in the order they run.
std::vector<std::wstring> SteerIpv6DnsCommands(int tunnelIndex,
                                               const std::vector<std::wstring>& dnsServers);

// The command lines that undo what `saved` records of IPv6 and DNS, in the
// order they run; none for a record without that part.
std::vector<std::wstring> UndoIpv6DnsCommands(const RouteState& saved);

// Records the IPv6 and DNS part in the state file on top of `ipv4Record`,
// then runs SteerIpv6DnsCommands. Nothing is changed when the record cannot
// be written. Outcomes are not judged: a refused IPv6 route or rule leaves
// the IPv4 routing as it is, and the log says what was done.
void SteerIpv6AndDns(ControlSystem& system, RouteState ipv4Record, int tunnelIndex,
                     const std::vector<std::wstring>& dnsServers);

// Runs UndoIpv6DnsCommands for `saved`; a route or rule already gone counts
// as removed.
void UndoIpv6AndDns(ControlSystem& system, const RouteState& saved);

// Removes every NRPT rule tagged kNrptRuleComment, recorded or not, and
// flushes the resolver's cache: such a rule outlives a restart.
void ClearTaggedDnsRules(ControlSystem& system);

}  // namespace netsteer
