#pragma once
// Finding the tunnel adapter's interface index in the IPv4 interface listing
// ("netsh interface ipv4 show interfaces").
#include <cstdint>
#include <optional>
#include <string>

#include "netsteer/machine/helper_system.h"

namespace netsteer {

struct TunnelMatch {
    std::int32_t index = 0;
    std::wstring line;  // the matched line, trimmed, case unchanged
};

// The first line naming a tunnel-like adapter whose first field is a number;
// none when no line does. Pure.
std::optional<TunnelMatch> ParseTunnelIndex(const std::wstring& listing);

// One lookup: runs the listing, logs the matched line or the whole listing,
// and gives the tunnel's index; none when it is not listed.
std::optional<int> GetTunnelIndex(HelperSystem& system);

}  // namespace netsteer
