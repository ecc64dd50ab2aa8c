#pragma once
// The server host as one IPv4 address (Windows: through Winsock).
#include <string>

namespace netsteer {

// The host's first IPv4 address as dotted text, empty when it has none.
// Winsock must be started. A numeric host is not looked up; it comes back in
// the canonical dotted form of the parsed address, whatever form it was given
// in ("10.1" or "010.0.0.1" would otherwise reach a command line as given).
std::wstring GetVpnServerIp(const std::wstring& host);

}  // namespace netsteer
