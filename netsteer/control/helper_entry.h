#pragma once
// The route helper's entry logic and its two actions. Each returns the
// process exit code (0 to 11, see ExitCode) and has written that code's log
// line; every path that started Winsock has cleaned it up exactly once.
#include <cstdint>
#include <string>

#include "netsteer/control/control_system.h"

namespace netsteer {

// argv[1] is the action ("start" or "stop", compared whole and case-
// sensitively), argv[2] the server host; further arguments are ignored.
int HelperMain(ControlSystem& system, int argc, const wchar_t* const* argv);

// Switches routing to the tunnel, keeping the server reachable through the
// old gateway, and records the old route in the state file first; changes no
// route when that record cannot be written. `startedAtMs` is the clock
// (MonotonicMs) when the helper started: the tunnel search ends
// kTunnelSearchDeadlineMs after it.
int RunStart(ControlSystem& system, const std::wstring& serverIp, std::uint64_t startedAtMs);

// Puts back the route recorded by `start` and removes the state file.
int RunStop(ControlSystem& system);

}  // namespace netsteer
