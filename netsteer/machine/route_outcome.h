#pragma once
// Whether a route command took effect: judged from the tool's output when it
// is one that is known, else from the route table listed after it, which
// needs no word of the tool's language.
#include <string>

namespace netsteer {

// False when the output, compared without regard to case, names a failed
// route addition or deletion or an element that was not found. Pure.
bool RouteOutputMeansSuccess(const std::wstring& output);

enum class RouteOutputVerdict {
    kRefused,  // one of the English failure phrases
    kDone,     // nothing at all, or the English " OK!" alone
    kUnknown,  // anything else: another language, or another message
};

// What the output alone tells. Pure.
RouteOutputVerdict JudgeRouteOutput(const std::wstring& output);

// For "route add <destination> [mask <mask>] [<gateway>] ...": true when the
// listing holds an active route with that destination, mask (255.255.255.255
// when none is given) and gateway, where gateway 0.0.0.0 stands for any route
// without a next hop. For "route delete ...": true when the listing holds
// routes but none that matches. False for any other command, and for a
// listing without a single route, which cannot have been read. Pure.
bool RouteTableShowsCommandDone(const std::wstring& commandLine, const std::wstring& listing);

}  // namespace netsteer
