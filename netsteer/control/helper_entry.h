#pragma once
// The route helper's entry logic: it reads the action and the server host,
// resolves the host and runs `start` or `stop`. It returns the process exit
// code (0 to 11, see ExitCode) and has written that code's log line.
#include "netsteer/control/control_system.h"

namespace netsteer {

// argv[1] is the action ("start" or "stop", compared whole and case-
// sensitively), argv[2] the server host; further arguments are ignored.
int HelperMain(ControlSystem& system, int argc, const wchar_t* const* argv);

}  // namespace netsteer
