#pragma once
// The uplink's interface index: the number the route commands need for the
// interface that owns the default route's local address.
#include <optional>
#include <string>

#include "netsteer/machine/helper_system.h"

namespace netsteer {

// Asks PowerShell for the index of the interface that owns `interfaceAddress`
// and reads the leading number of its trimmed output. None when the output is
// empty, does not begin with a number, or the number does not fit 32 bits or
// is not positive.
std::optional<int> GetUplinkInterfaceIndex(HelperSystem& system,
                                           const std::wstring& interfaceAddress);

}  // namespace netsteer
