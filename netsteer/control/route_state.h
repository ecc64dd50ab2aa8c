#pragma once
// The route state file: what `start` changed, kept for the later `stop` (and
// for the next `start`, to undo a change left behind). UTF-16 little-endian
// without a byte order mark, three lines each ended by one LF:
// gateway, interface index in decimal, server address. Then, when `start`
// went on to IPv6 and DNS, up to two more lines: "ipv6 <tunnel index>" for
// the IPv6 routes through the tunnel, and "nrpt" for the DNS rule. A file
// without them (as older netsteer wrote) has nothing of IPv6 or DNS to undo;
// a line that is neither is passed over.
#include <cstddef>
#include <cstdint>
#include <string>

namespace netsteer {

struct RouteState {
    std::wstring gateway;
    std::int32_t interfaceIndex = 0;
    std::wstring serverIp;
    // The interface the IPv6 routes were added through; 0 when none were.
    std::int32_t ipv6TunnelIndex = 0;
    // An NRPT rule tagged kNrptRuleComment was added.
    bool nrptRule = false;
};

// Line buffers of the reader, in code units including the terminator: a
// line is cut after one unit less than its buffer holds.
inline constexpr std::size_t kGatewayLineUnits = 256;
inline constexpr std::size_t kIndexLineUnits = 64;
inline constexpr std::size_t kServerLineUnits = 256;
inline constexpr std::size_t kExtraLineUnits = 64;
inline constexpr std::size_t kExtraLines = 2;

// Everything the reader can take: bytes past this many never matter.
inline constexpr std::size_t kStateReadLimitBytes =
    2 * ((kGatewayLineUnits - 1) + (kIndexLineUnits - 1) + (kServerLineUnits - 1) +
         kExtraLines * (kExtraLineUnits - 1));

// The file's bytes for `state`, exactly as written.
std::string EncodeRouteState(const RouteState& state);

// Reads the file's bytes by the rules of three fgetws calls (256, 64 and 256
// units), trims the lines and parses the index, then up to two more lines of
// 64 units for the IPv6 and DNS part. False when a line is missing,
// the index is not a positive 32-bit number, or the gateway or server address
// is not a plain dotted IPv4 address. `state` is written only on success.
bool DecodeRouteState(const std::string& bytes, RouteState& state);

// Writes the file at `path`: a temporary file in the same directory, flushed
// to disk, then moved over the old one in one step, so a crash leaves either
// the old or the new content. True only when the file now holds `state`; a
// record that DecodeRouteState would refuse, or would read back as other
// values, is not written (false).
bool SaveState(const std::wstring& path, const RouteState& state);

// Reads and checks the file at `path` (see DecodeRouteState). False when the
// file cannot be opened, is not one that this account or the system wrote
// (see ReadFileHead), or is rejected.
bool LoadState(const std::wstring& path, RouteState& state);

// Deletes the file at `path`; a missing file is no error.
void DeleteState(const std::wstring& path);

}  // namespace netsteer
