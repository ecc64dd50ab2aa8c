#pragma once
// The active IPv4 routes of a "route print -4" listing, read in English by its
// headings and in any other display language by the shape of its rows.
#include <cstdint>
#include <string>
#include <vector>

#include "netsteer/machine/helper_system.h"

namespace netsteer {

// The gateway of a route without a next hop, whatever word the listing used.
inline constexpr wchar_t kOnLinkGateway[] = L"On-link";
// The destination, netmask and gateway that mean "any" / "none".
inline constexpr wchar_t kAnyAddress[] = L"0.0.0.0";
// The mask of a route to one host; also the route tool's own mask when a
// command names none.
inline constexpr wchar_t kHostMask[] = L"255.255.255.255";

struct RouteEntry {
    std::wstring destination;
    std::wstring netmask;
    std::wstring gateway;  // an IPv4 address, or kOnLinkGateway
    std::wstring interfaceAddress;
    std::int32_t metric = 0;
};

// The active routes, in listing order. Pure.
// - A listing with an "Active Routes:" line is read by its English headings,
//   from that line up to "Persistent Routes:".
// - Any other listing is read by place and shape: the section between the
//   third and the fourth ruler of "=" characters (after the interface list
//   and the table title), and in it only rows of destination, netmask, a
//   gateway (a dotted address, or one or more words meaning "on-link"),
//   interface address and a numeric metric, with nothing after it.
std::vector<RouteEntry> ReadActiveRoutes(const std::wstring& listing);

// Lists the table (RoutePrintCommand) and reads its active routes; none when
// the listing could not be run or read.
std::vector<RouteEntry> ListActiveRoutes(HelperSystem& system);

}  // namespace netsteer
