#include "netsteer/machine/route_outcome.h"

#include <algorithm>
#include <vector>

#include "netsteer/machine/route_listing.h"
#include "netsteer/machine/text_utils.h"

namespace netsteer {
namespace {

// What the route tool prints when it refuses a change; searched in the
// lower-cased output, in this order.
constexpr const wchar_t* kRouteFailurePhrases[] = {
    L"the route addition failed",
    L"the route deletion failed",
    L"element not found",
};

// What the English route tool prints when it has made the change.
constexpr wchar_t kRouteDoneText[] = L"OK!";

// Every known confirmation ends in an exclamation mark, and every refusal
// joins what failed and why with a colon, in ASCII or full width.
constexpr wchar_t kConfirmationEnds[] = L"!\xFF01";
constexpr wchar_t kReasonSeparators[] = L":\xFF1A";
constexpr wchar_t kLineBreaks[] = L"\r\n";

bool ReadsAsConfirmation(const std::wstring& output) {
    const std::wstring trimmed = Trim(output);
    const std::wstring endings = kConfirmationEnds;
    return !trimmed.empty() && endings.find(trimmed.back()) != std::wstring::npos &&
           trimmed.find_first_of(kReasonSeparators) == std::wstring::npos &&
           trimmed.find_first_of(kLineBreaks) == std::wstring::npos;
}

bool Matches(const Route& route, const std::vector<std::wstring>& interfaceAddresses,
             const RouteEntry& entry) {
    if (entry.destination != route.destination || entry.netmask != route.mask.value_or(kHostMask)) {
        return false;
    }
    if (!route.gateway) {
        return true;
    }
    if (*route.gateway != kAnyAddress) {
        return entry.gateway == *route.gateway;
    }
    if (entry.gateway != kOnLinkGateway && entry.gateway != kAnyAddress) {
        return false;
    }
    // Another adapter's route without a next hop (another VPN's, say) is not
    // the one asked for.
    return !OnLinkRouteInterface(route) ||
           std::find(interfaceAddresses.begin(), interfaceAddresses.end(),
                     entry.interfaceAddress) != interfaceAddresses.end();
}

}  // namespace

bool RouteTableShowsChangeDone(const RouteChange& change, const std::vector<RouteEntry>& table,
                               const std::vector<std::wstring>& interfaceAddresses) {
    if (table.empty()) {
        return false;
    }
    const bool present = std::any_of(table.begin(), table.end(), [&](const RouteEntry& entry) {
        return Matches(change.route, interfaceAddresses, entry);
    });
    return (change.action == RouteAction::kAdd) == present;
}

bool RouteOutputMeansSuccess(const std::wstring& output) {
    const std::wstring lower = ToLowerCase(output);
    for (const wchar_t* phrase : kRouteFailurePhrases) {
        if (lower.find(phrase) != std::wstring::npos) {
            return false;
        }
    }
    return true;
}

RouteOutputVerdict JudgeRouteOutput(const std::wstring& output) {
    if (!RouteOutputMeansSuccess(output)) {
        return RouteOutputVerdict::kRefused;
    }
    const std::wstring trimmed = Trim(output);
    if (trimmed.empty() || trimmed == kRouteDoneText) {
        return RouteOutputVerdict::kDone;
    }
    // Whatever else a command printed, a refusal in another language or a
    // message such as "requires elevation", it did not change the table as
    // asked, even when the route it names was there before: the English tool
    // says so for a route that already exists.
    return ReadsAsConfirmation(output) ? RouteOutputVerdict::kConfirmationToCheck
                                       : RouteOutputVerdict::kRefused;
}

}  // namespace netsteer
