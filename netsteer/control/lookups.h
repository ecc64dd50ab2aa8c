#pragma once
// Turning names into the numbers that the route commands need: the server
// host into one IPv4 address, the uplink's local address into its index.
#include <string>

#include "netsteer/probes/helper_system.h"

namespace netsteer {

// Asks PowerShell for the index of the interface that owns `interfaceAddress`
// and reads the leading number of its trimmed output. False when the output is
// empty, does not begin with a number, or the number does not fit 32 bits or
// is not positive.
bool GetUplinkInterfaceIndex(HelperSystem& system, const std::wstring& interfaceAddress,
                             int& index);

#ifdef _WIN32
// The host's first IPv4 address as dotted text, empty when it has none.
// Winsock must be started. A numeric host is not looked up; it comes back in
// the canonical dotted form of the parsed address, whatever form it was given
// in ("10.1" or "010.0.0.1" would otherwise reach a command line as given).
std::wstring GetVpnServerIp(const std::wstring& host);
#endif

}  // namespace netsteer
