#include "netsteer/machine/route_outcome.h"

#include <cstddef>
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

struct RouteTarget {
    bool add = false;
    std::wstring destination;
    std::wstring mask = kHostMask;
    std::wstring gateway;  // empty: any
};

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
        target.gateway = f[i];
    }
    return true;
}

bool Matches(const RouteTarget& target, const RouteEntry& entry) {
    if (entry.destination != target.destination || entry.netmask != target.mask) {
        return false;
    }
    if (target.gateway.empty()) {
        return true;
    }
    if (target.gateway == kAnyAddress) {
        return entry.gateway == kOnLinkGateway || entry.gateway == kAnyAddress;
    }
    return entry.gateway == target.gateway;
}

}  // namespace

bool RouteTableShowsCommandDone(const std::wstring& commandLine, const std::wstring& listing) {
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
        present = present || Matches(target, entry);
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
    // Nothing at all also comes from a command interpreter that could not be
    // started; it stays a success, as it always was.
    if (trimmed.empty() || trimmed == kRouteDoneText) {
        return RouteOutputVerdict::kDone;
    }
    return RouteOutputVerdict::kUnknown;
}

}  // namespace netsteer
