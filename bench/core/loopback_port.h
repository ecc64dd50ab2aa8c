#pragma once
// TCP ports on 127.0.0.1 for the core benchmark: one picked free at run time,
// and whether something accepts connections on it yet. Needs a Winsock
// session (velk::WinsockSession) for as long as these are used.
#include <cstdint>

#include "common/winsock_handles.h"

namespace velk::bench {

// A TCP port on 127.0.0.1 that was free a moment ago: the one the system
// gave a socket bound to port 0, which is closed again. 0 when none was had.
std::uint16_t PickFreeLoopbackPort();

// True when a TCP connection to 127.0.0.1:`port` is accepted (and closed at
// once); false while nothing listens there.
bool LoopbackPortAccepts(std::uint16_t port);

}  // namespace velk::bench
