#pragma once
// Whether a route command took effect, judged from the route table listed
// after it. This needs no word of the tool's language, so it decides when
// the tool's own message is not one that is known.
#include <string>

namespace netsteer {

// For "route add <destination> [mask <mask>] [<gateway>] ...": true when the
// listing holds an active route with that destination, mask (255.255.255.255
// when none is given) and gateway, where gateway 0.0.0.0 stands for any route
// without a next hop. For "route delete ...": true when the listing holds
// routes but none that matches. False for any other command, and for a
// listing without a single route, which cannot have been read. Pure.
bool RouteTableShowsCommandDone(const std::wstring& commandLine, const std::wstring& listing);

}  // namespace netsteer
