// The route listing reader on tool output of any shape. Properties: no field
// of a route is empty or holds a field separator; a listing read by shape
// (no English heading) gives plain dotted addresses, a gateway that is one
// or "On-link", and a metric of digits alone; and the routes read, written
// out again as an English listing, read back as the very same routes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "netsteer/machine/route_listing.h"
#include "netsteer/machine/text_utils.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using netsteer::IsPlainDottedIPv4;
using netsteer::RouteEntry;
using velk::fuzz::Require;

bool IsWord(const std::wstring& field) {
    return !field.empty() && field.find_first_of(L" \t\n\v\f\r") == std::wstring::npos;
}

std::wstring EnglishListing(const std::vector<RouteEntry>& routes) {
    std::wstring listing = L"IPv4 Route Table\r\nActive Routes:\r\n";
    for (const RouteEntry& r : routes) {
        listing += L"  " + r.destination + L"  " + r.netmask + L"  " + r.gateway + L"  " +
                   r.interfaceAddress + L"  " + std::to_wstring(r.metric) + L"\r\n";
    }
    return listing + L"Persistent Routes:\r\n  None\r\n";
}

bool Same(const RouteEntry& a, const RouteEntry& b) {
    return a.destination == b.destination && a.netmask == b.netmask && a.gateway == b.gateway &&
           a.interfaceAddress == b.interfaceAddress && a.metric == b.metric;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring listing = velk::fuzz::ToolText(data, size);
    const std::vector<RouteEntry> routes = netsteer::ReadActiveRoutes(listing);
    const bool english = listing.find(L"Active Routes:") != std::wstring::npos;

    for (const RouteEntry& r : routes) {
        Require(IsWord(r.destination) && IsWord(r.netmask) && IsWord(r.gateway) &&
                    IsWord(r.interfaceAddress),
                "no field is empty or holds a blank");
        if (!english) {
            Require(IsPlainDottedIPv4(r.destination) && IsPlainDottedIPv4(r.netmask) &&
                        IsPlainDottedIPv4(r.interfaceAddress),
                    "a row read by shape has plain addresses");
            Require(IsPlainDottedIPv4(r.gateway) || r.gateway == netsteer::kOnLinkGateway,
                    "a row read by shape has an address or On-link as gateway");
            Require(r.metric >= 0, "a metric read by shape is digits alone");
        }
    }

    const std::vector<RouteEntry> again = netsteer::ReadActiveRoutes(EnglishListing(routes));
    Require(again.size() == routes.size(), "the routes written out read back, all of them");
    for (std::size_t i = 0; i < routes.size(); ++i) {
        Require(Same(again[i], routes[i]), "the routes written out read back unchanged");
    }
    return 0;
}
