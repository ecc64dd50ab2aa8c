#include "netsteer/probes/route_command.h"

#include "netsteer/netsteer_constants.h"
#include "netsteer/probes/route_outcome.h"
#include "netsteer/probes/system_commands.h"
#include "netsteer/probes/text_utils.h"

namespace netsteer {
namespace {

// What the route tool prints when it refuses a change; searched in the
// lower-cased output, in this order.
constexpr const wchar_t* kRouteFailurePhrases[] = {
    L"the route addition failed",
    L"the route deletion failed",
    L"element not found",
};

// What the English route tool prints when it has made the change.
constexpr wchar_t kRouteDoneText[] = L"OK!";

}  // namespace

bool RouteOutputMeansSuccess(const std::wstring& output) {
    const std::wstring lower = ToLowerCase(output);
    for (const wchar_t* phrase : kRouteFailurePhrases) {
        if (lower.find(phrase) != std::wstring::npos) {
            return false;
        }
    }
    return true;
}

RouteOutputVerdict JudgeRouteOutput(const std::wstring& output) {
    if (!RouteOutputMeansSuccess(output)) {
        return RouteOutputVerdict::kRefused;
    }
    const std::wstring trimmed = Trim(output);
    // Nothing at all also comes from a command interpreter that could not be
    // started; it stays a success, as it always was.
    if (trimmed.empty() || trimmed == kRouteDoneText) {
        return RouteOutputVerdict::kDone;
    }
    return RouteOutputVerdict::kUnknown;
}

bool RunRouteCommand(HelperSystem& system, const std::wstring& commandLine) {
    const std::wstring output = system.RunCommand(commandLine);
    // The pause comes before the judgement so that every command, refused or
    // not, gives the routing table the same time to settle.
    system.Sleep(kRouteCommandPauseMs);
    switch (JudgeRouteOutput(output)) {
        case RouteOutputVerdict::kRefused:
            return false;
        case RouteOutputVerdict::kDone:
            return true;
        case RouteOutputVerdict::kUnknown:
            break;
    }
    // A message in another language, or one nobody has listed: the table
    // says whether the change is there, in any language.
    return RouteTableShowsCommandDone(commandLine, system.RunCommand(RoutePrintCommand()));
}

}  // namespace netsteer
