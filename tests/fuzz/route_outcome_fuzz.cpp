// The route outcome check on tool output of any shape, which also serves as
// the route table listed after the command. Properties: what
// RouteOutputMeansSuccess calls a failure is refused, found whatever the case
// and whatever surrounds it; "done" is only empty output or " OK!"; only one
// line ending in "!" without a colon goes to the table; the table confirms an
// addition of every route it lists (a route without a next hop only through
// an interface with its address) and the deletion of none, and a table
// without routes confirms nothing.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "netsteer/machine/route_change.h"
#include "netsteer/machine/route_listing.h"
#include "netsteer/machine/route_outcome.h"
#include "netsteer/machine/text_utils.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using netsteer::IsPlainDottedIPv4;
using netsteer::RouteOutputVerdict;
using velk::fuzz::Require;

// Enough rows to reach every branch; more only cost time.
constexpr std::size_t kRoutesChecked = 8;

std::wstring UpperCase(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return text;
}

void CheckTableVerdicts(const std::wstring& listing) {
    const std::vector<netsteer::RouteEntry> routes = netsteer::ReadActiveRoutes(listing);
    if (routes.empty()) {
        Require(!netsteer::RouteTableShowsChangeDone(netsteer::DeleteDefaultRoute(L"192.168.1.1"),
                                                     routes, {}),
                "a table without routes confirms no deletion");
        Require(!netsteer::RouteTableShowsChangeDone(netsteer::AddTunnelDefaultRoute(45), routes,
                                                     {L"10.8.0.2"}),
                "a table without routes confirms no addition");
        return;
    }
    for (std::size_t i = 0; i < routes.size() && i < kRoutesChecked; ++i) {
        const netsteer::RouteEntry& r = routes[i];
        const bool onLink =
            r.gateway == netsteer::kOnLinkGateway || r.gateway == netsteer::kAnyAddress;
        if (!IsPlainDottedIPv4(r.destination) || !IsPlainDottedIPv4(r.netmask) ||
            !(onLink || IsPlainDottedIPv4(r.gateway))) {
            continue;
        }
        const std::wstring gateway = onLink ? std::wstring(netsteer::kAnyAddress) : r.gateway;
        const netsteer::RouteChange add{netsteer::RouteAction::kAdd,
                                        netsteer::Route{r.destination, r.netmask, gateway, 7, 1}};
        const netsteer::RouteChange remove{
            netsteer::RouteAction::kDelete,
            netsteer::Route{r.destination, r.netmask, gateway, std::nullopt, std::nullopt}};
        Require(netsteer::RouteTableShowsChangeDone(add, routes, {r.interfaceAddress}),
                "a listed route confirms its addition");
        Require(onLink || netsteer::RouteTableShowsChangeDone(add, routes, {}),
                "a route with a next hop needs no interface address");
        Require(!onLink || !netsteer::RouteTableShowsChangeDone(add, routes, {}),
                "a route without a next hop is confirmed only through its interface");
        Require(!netsteer::RouteTableShowsChangeDone(remove, routes, {}),
                "a listed route denies its deletion");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring output = velk::fuzz::ToolText(data, size);
    const bool success = netsteer::RouteOutputMeansSuccess(output);
    const RouteOutputVerdict verdict = netsteer::JudgeRouteOutput(output);

    Require(success || verdict == RouteOutputVerdict::kRefused,
            "refused whenever a failure phrase is there");
    const std::wstring trimmed = netsteer::Trim(output);
    Require(verdict != RouteOutputVerdict::kConfirmationToCheck ||
                (!trimmed.empty() && (trimmed.back() == L'!' || trimmed.back() == L'\xFF01') &&
                 trimmed.find_first_of(L":\xFF1A\r\n") == std::wstring::npos),
            "only one line ending in an exclamation mark, without a colon, goes to the table");
    Require(verdict != RouteOutputVerdict::kDone || trimmed.empty() || trimmed == L"OK!",
            "done only for no output or OK!");
    Require(netsteer::RouteOutputMeansSuccess(UpperCase(output)) == success,
            "phrases are found whatever their case");
    Require(success || !netsteer::RouteOutputMeansSuccess(L" OK!\r\n" + output + L"\r\nx"),
            "a failure phrase counts wherever it stands");

    CheckTableVerdicts(output);
    return 0;
}
