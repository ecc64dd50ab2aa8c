#pragma once
// The route state file: what `start` changed, kept for the later `stop` (and
// for the next `start`, to undo a change left behind). UTF-16 little-endian
// without a byte order mark, three lines each ended by one LF:
// gateway, interface index in decimal, server address.
#include <cstddef>
#include <cstdint>
#include <string>

namespace netsteer {

struct RouteState {
    std::wstring gateway;
    std::int32_t interfaceIndex = 0;
    std::wstring serverIp;
};

// Line buffers of the reader, in code units including the terminator: a
// line is cut after one unit less than its buffer holds.
inline constexpr std::size_t kGatewayLineUnits = 256;
inline constexpr std::size_t kIndexLineUnits = 64;
inline constexpr std::size_t kServerLineUnits = 256;

// The file's bytes for `state`, exactly as written.
std::string EncodeRouteState(const RouteState& state);

// Reads the file's bytes by the rules of three fgetws calls (256, 64 and 256
// units), trims the lines and parses the index. False when a line is missing,
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
