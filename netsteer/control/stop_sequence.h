#pragma once
// `netsteer stop`: routing back out of the tunnel. Returns the exit code, has
// written its log line and cleaned up Winsock (started by the caller).
#include "netsteer/control/control_system.h"

namespace netsteer {

// Puts back the route recorded by `start` and removes the state file.
int RunStop(ControlSystem& system);

}  // namespace netsteer
