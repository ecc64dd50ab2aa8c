#pragma once
// The DNS servers given to `start` (and passed on by the service's
// route_start): plain dotted IPv4 addresses separated by commas.
#include <string>
#include <vector>

namespace netsteer {

// One to kMaxTunnelDnsServers plain dotted IPv4 addresses (IsPlainDottedIPv4)
// separated by single commas, nothing else: the texts go into a command
// line. `servers` is written only on success.
bool ParseDnsServers(const std::wstring& text, std::vector<std::wstring>& servers);

}  // namespace netsteer
