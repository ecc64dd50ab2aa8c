// The interface listing reader on tool output of any shape. Properties: a
// match is one line of the listing, trimmed, whose first field begins with
// the index found; that line alone gives the same match; and whatever
// follows the listing never changes a match (the first qualifying line wins).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "netsteer/machine/text_utils.h"
#include "netsteer/machine/tunnel_finder.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using netsteer::TunnelMatch;
using velk::fuzz::Require;

bool Same(const std::optional<TunnelMatch>& a, const std::optional<TunnelMatch>& b) {
    return a.has_value() == b.has_value() && (!a || (a->index == b->index && a->line == b->line));
}

bool IsLineOf(const std::wstring& listing, const std::wstring& line) {
    for (const std::wstring& raw : netsteer::SplitLines(listing)) {
        if (netsteer::Trim(raw) == line) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring listing = velk::fuzz::ToolText(data, size);
    const std::optional<TunnelMatch> match = netsteer::ParseTunnelIndex(listing);
    const std::optional<TunnelMatch> extended =
        netsteer::ParseTunnelIndex(listing + L"\r\n 1  5  1500  connected  velk_vpn0\r\n");

    if (!match) {
        Require(extended.has_value(), "a tunnel line after the listing is found");
        return 0;
    }
    Require(Same(extended, match), "what follows the listing never changes the match");
    Require(!match->line.empty() && IsLineOf(listing, match->line),
            "the match is a trimmed line of the listing");
    netsteer::FieldCursor cursor;
    std::wstring first;
    std::int32_t index = 0;
    Require(netsteer::ReadTextField(match->line, cursor, first) &&
                netsteer::ParseLeadingInt(first, index) && index == match->index,
            "the index is the start of the line's first field");
    Require(Same(netsteer::ParseTunnelIndex(match->line), match),
            "the matched line alone gives the same match");
    return 0;
}
