// The state file reader on file bytes of any shape, and the writer on the
// records it accepts. Properties: an accepted record has plain dotted
// addresses and an index above 0; the bytes the writer makes of it read back
// as the same record; bytes beyond what the five line reads can take (all
// that LoadState reads) never change the outcome; a rejected read leaves the
// record untouched.
#include <cstddef>
#include <cstdint>
#include <string>

#include "netsteer/control/route_state.h"
#include "netsteer/machine/text_utils.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using netsteer::RouteState;
using velk::fuzz::Require;

// The three line reads of the IPv4 part and the two of the IPv6 and DNS part.
constexpr std::size_t kReadableBytes =
    2 *
    ((netsteer::kGatewayLineUnits - 1) + (netsteer::kIndexLineUnits - 1) +
     (netsteer::kServerLineUnits - 1) + netsteer::kExtraLines * (netsteer::kExtraLineUnits - 1));

bool Same(const RouteState& a, const RouteState& b) {
    return a.gateway == b.gateway && a.interfaceIndex == b.interfaceIndex &&
           a.serverIp == b.serverIp && a.ipv6TunnelIndex == b.ipv6TunnelIndex &&
           a.nrptRule == b.nrptRule;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = velk::fuzz::Bytes(data, size);
    const RouteState untouched{L"untouched", -7, L"untouched"};
    RouteState state = untouched;
    const bool accepted = netsteer::DecodeRouteState(bytes, state);

    RouteState head = untouched;
    Require(netsteer::DecodeRouteState(bytes.substr(0, kReadableBytes), head) == accepted &&
                Same(head, state),
            "bytes past the readable head change nothing");
    if (!accepted) {
        Require(Same(state, untouched), "a rejected read leaves the record untouched");
        return 0;
    }
    Require(
        netsteer::IsPlainDottedIPv4(state.gateway) && netsteer::IsPlainDottedIPv4(state.serverIp),
        "an accepted record has plain dotted addresses");
    Require(state.interfaceIndex > 0, "an accepted record has an index above 0");
    Require(state.ipv6TunnelIndex >= 0, "an accepted record's IPv6 tunnel index is 0 or above");

    RouteState back;
    Require(
        netsteer::DecodeRouteState(netsteer::EncodeRouteState(state), back) && Same(back, state),
        "what the writer makes of a record reads back as that record");
    return 0;
}
