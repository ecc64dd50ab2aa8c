#pragma once
// The server host as one IPv4 address (Windows: through Winsock).
#include <string>

#include "common/win32_result.h"

namespace netsteer {

// The host's first IPv4 address as dotted text, empty when it has none. Winsock
// is started for the lookup alone and released before this returns; the
// failed WSAStartup when it could not be started. A numeric host is not looked
// up; it comes back in the canonical dotted form of the parsed address,
// whatever form it was given in ("10.1" or "010.0.0.1" would otherwise reach
// a command line as given).
velk::Win32Result<std::wstring> GetVpnServerIp(const std::wstring& host);

}  // namespace netsteer
