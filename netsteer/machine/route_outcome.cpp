#include "netsteer/machine/route_outcome.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
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

struct RouteTarget {
    bool add = false;
    std::wstring destination;
    std::wstring mask = kHostMask;
    std::wstring gateway;    // empty: any
    int interfaceIndex = 0;  // from "if <index>"; 0: not named
};

bool ReadsAsConfirmation(const std::wstring& output) {
    const std::wstring trimmed = Trim(output);
    const std::wstring endings = kConfirmationEnds;
    return !trimmed.empty() && endings.find(trimmed.back()) != std::wstring::npos &&
           trimmed.find_first_of(kReasonSeparators) == std::wstring::npos &&
           trimmed.find_first_of(kLineBreaks) == std::wstring::npos;
}

bool ReadRouteTarget(const std::wstring& commandLine, RouteTarget& target) {
    std::vector<std::wstring> f;
    FieldCursor cursor;
    std::wstring field;
    while (ReadTextField(commandLine, cursor, field)) {
        f.push_back(ToLowerCase(field));
    }
    if (f.size() < 3 || f[0] != L"route" || (f[1] != L"add" && f[1] != L"delete")) {
        return false;
    }
    target.add = f[1] == L"add";
    target.destination = f[2];
    std::size_t i = 3;
    if (i + 1 < f.size() && f[i] == L"mask") {
        target.mask = f[i + 1];
        i += 2;
    }
    if (i < f.size() && f[i] != L"if" && f[i] != L"metric") {
        target.gateway = f[i++];
    }
    for (; i + 1 < f.size(); i += 2) {
        std::int32_t index = 0;
        if (f[i] == L"if" && ParseLeadingInt(f[i + 1], index) && index > 0) {
            target.interfaceIndex = index;
        }
    }
    return true;
}

bool IsOnLinkThroughNamedInterface(const RouteTarget& target) {
    return target.gateway == kAnyAddress && target.interfaceIndex > 0;
}

bool Matches(const RouteTarget& target, const std::vector<std::wstring>& interfaceAddresses,
             const RouteEntry& entry) {
    if (entry.destination != target.destination || entry.netmask != target.mask) {
        return false;
    }
    if (target.gateway.empty()) {
        return true;
    }
    if (target.gateway != kAnyAddress) {
        return entry.gateway == target.gateway;
    }
    if (entry.gateway != kOnLinkGateway && entry.gateway != kAnyAddress) {
        return false;
    }
    // Another adapter's route without a next hop (another VPN's, say) is not
    // the one asked for.
    return !IsOnLinkThroughNamedInterface(target) ||
           std::find(interfaceAddresses.begin(), interfaceAddresses.end(),
                     entry.interfaceAddress) != interfaceAddresses.end();
}

}  // namespace

bool NamesOnLinkRouteInterface(const std::wstring& commandLine, int& interfaceIndex) {
    RouteTarget target;
    if (!ReadRouteTarget(commandLine, target) || !IsOnLinkThroughNamedInterface(target)) {
        return false;
    }
    interfaceIndex = target.interfaceIndex;
    return true;
}

bool RouteTableShowsCommandDone(const std::wstring& commandLine, const std::wstring& listing,
                                const std::vector<std::wstring>& interfaceAddresses) {
    RouteTarget target;
    if (!ReadRouteTarget(commandLine, target)) {
        return false;
    }
    const std::vector<RouteEntry> entries = ReadActiveRoutes(listing);
    if (entries.empty()) {
        return false;
    }
    bool present = false;
    for (const RouteEntry& entry : entries) {
        present = present || Matches(target, interfaceAddresses, entry);
    }
    return target.add == present;
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
