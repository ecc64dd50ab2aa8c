#pragma once
// Running one route command and judging its outcome from its output alone.
#include <string>

#include "netsteer/probes/helper_system.h"

namespace netsteer {

// False when the output, compared without regard to case, names a failed
// route addition or deletion or an element that was not found. Pure.
bool RouteOutputMeansSuccess(const std::wstring& output);

// Runs the command, pauses kRouteCommandPauseMs, then judges the output.
bool RunRouteCommand(HelperSystem& system, const std::wstring& commandLine);

}  // namespace netsteer
