#include "netsteer/machine/tunnel_finder.h"

#include "netsteer/machine/system_commands.h"
#include "netsteer/machine/text_utils.h"

namespace netsteer {
namespace {

// Lower-case fragments of tunnel-like adapter names, searched in the whole
// line, not only in the Name column.
constexpr const wchar_t* kTunnelNameFragments[] = {
    L"velk_vpn0",
    L"xray tunnel",
    L"wintun",
    L"tun",
};

constexpr wchar_t kMatchedMessage[] = L"GetTunnelIndex matched line: ";
constexpr wchar_t kNoMatchMessage[] = L"GetTunnelIndex no match. netsh output:\n";

bool NamesTunnel(const std::wstring& lowerLine) {
    for (const wchar_t* fragment : kTunnelNameFragments) {
        if (lowerLine.find(fragment) != std::wstring::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<TunnelMatch> ParseTunnelIndex(const std::wstring& listing) {
    for (const std::wstring& rawLine : SplitLines(listing)) {
        std::wstring line = Trim(rawLine);
        if (line.empty() || !NamesTunnel(ToLowerCase(line))) {
            continue;
        }
        // A qualifying line without an index (a heading, say) does not end
        // the search.
        FieldCursor cursor;
        std::int32_t index = 0;
        if (!ReadIntField(line, cursor, index)) {
            continue;
        }
        return TunnelMatch{index, std::move(line)};
    }
    return std::nullopt;
}

std::optional<int> GetTunnelIndex(HelperSystem& system) {
    const std::wstring listing = PrintedText(system.RunCommand(ShowInterfacesCommand()));
    const std::optional<TunnelMatch> match = ParseTunnelIndex(listing);
    if (!match) {
        system.Log(kNoMatchMessage + listing);
        return std::nullopt;
    }
    system.Log(kMatchedMessage + match->line);
    return match->index;
}

}  // namespace netsteer
