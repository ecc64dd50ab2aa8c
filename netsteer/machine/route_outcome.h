#pragma once
// Whether a route command took effect, by one rule in every display language:
// the English refusals and anything that does not read as a confirmation are
// refusals; the English " OK!" and silence are done; a confirmation in other
// words is believed only when the route table listed after it shows the
// change, which needs no word of the tool's language.
#include <string>
#include <vector>

#include "netsteer/machine/route_change.h"
#include "netsteer/machine/route_listing.h"

namespace netsteer {

// False when the output, compared without regard to case, names a failed
// route addition or deletion or an element that was not found. Pure.
bool RouteOutputMeansSuccess(const std::wstring& output);

enum class RouteOutputVerdict {
    kRefused,  // an English failure phrase, or any output that is no confirmation
    kDone,     // nothing at all, or the English " OK!" alone
    // One line that ends in "!" and holds no colon, in other words (as the
    // Chinese tool's): the route table decides.
    kConfirmationToCheck,
};

// What the output alone tells. A refusal in any language reads
// "<what failed>: <why>." and so is never taken for a confirmation, even
// when the route it names was already there. Pure.
RouteOutputVerdict JudgeRouteOutput(const std::wstring& output);

// True when the active routes listed after the change (ReadActiveRoutes) show
// it done. An addition is done when the table holds a route with the route's
// destination, mask (kHostMask when none is named) and gateway; a route
// without a next hop (gateway kAnyAddress) is any listed route without one,
// and when it names a real interface (OnLinkRouteInterface), only one whose
// interface column is among interfaceAddresses, that interface's addresses.
// A deletion is done when the table holds routes but none that matches. A
// table without a single route cannot have been read and confirms nothing.
// Pure.
bool RouteTableShowsChangeDone(const RouteChange& change, const std::vector<RouteEntry>& table,
                               const std::vector<std::wstring>& interfaceAddresses);

}  // namespace netsteer
