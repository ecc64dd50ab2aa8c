#pragma once
// Whether a route command took effect, by one rule in every display language:
// the English refusals and anything that does not read as a confirmation are
// refusals; the English " OK!" and silence are done; a confirmation in other
// words is believed only when the route table listed after it shows the
// change, which needs no word of the tool's language.
#include <string>
#include <vector>

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

// True with its index when the command names a route without a next hop
// (gateway 0.0.0.0) through "if <index>": only the interface tells such a
// route from another adapter's, so the table check needs that interface's
// addresses. Pure.
bool NamesOnLinkRouteInterface(const std::wstring& commandLine, int& interfaceIndex);

// For "route add <destination> [mask <mask>] [<gateway>] ...": true when the
// listing holds an active route with that destination, mask (255.255.255.255
// when none is given) and gateway, where gateway 0.0.0.0 stands for any route
// without a next hop whose interface column is one of interfaceAddresses
// (the addresses of the command's "if" interface). For "route delete ...":
// true when the listing holds routes but none that matches. False for any
// other command, and for a listing without a single route, which cannot have
// been read. Pure.
bool RouteTableShowsCommandDone(const std::wstring& commandLine, const std::wstring& listing,
                                const std::vector<std::wstring>& interfaceAddresses);

}  // namespace netsteer
