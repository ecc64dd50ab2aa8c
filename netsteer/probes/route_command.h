#pragma once
// Running one route command and judging its outcome.
#include <string>

#include "netsteer/probes/helper_system.h"

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

// Runs the command and pauses kRouteCommandPauseMs. Then judges the output;
// when that tells nothing, lists the route table once more and judges by
// whether the change is there (RouteTableShowsCommandDone), so that a refusal
// in any language is never taken for success.
bool RunRouteCommand(HelperSystem& system, const std::wstring& commandLine);

}  // namespace netsteer
