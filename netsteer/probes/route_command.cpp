#include "netsteer/probes/route_command.h"

#include "netsteer/netsteer_constants.h"
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

bool RunRouteCommand(HelperSystem& system, const std::wstring& commandLine) {
    const std::wstring output = system.RunCommand(commandLine);
    // The pause comes before the judgement so that every command, refused or
    // not, gives the routing table the same time to settle.
    system.Sleep(kRouteCommandPauseMs);
    return RouteOutputMeansSuccess(output);
}

}  // namespace netsteer
