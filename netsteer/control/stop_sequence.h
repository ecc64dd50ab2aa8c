#pragma once
// `netsteer stop`: routing back out of the tunnel. Returns the exit code and
// has written its log line.
#include "netsteer/control/control_system.h"

namespace netsteer {

// Puts back the route recorded by `start` and removes the state file. When
// the machine has since moved to another network (IsSavedGatewayOnAnotherNetwork),
// keeps its default routes instead and removes only the tunnel's default
// route and the server's host route, and the state file (exit code 0).
int RunStop(ControlSystem& system);

}  // namespace netsteer
