#include "tools/velksetup/route_restore.h"

#include "netsteer/machine/helper_log.h"
#include "service/supervision/route_restore.h"
#include "tools/velksetup/setup_constants.h"

namespace velk::setup {

SetupResult RestoreSavedRouting(const std::wstring& programDirectory) {
    RouteRestoreSettings settings;
    settings.programDirectory = programDirectory;
    settings.occasion = L"before removal";
    settings.log = [](const std::wstring& message) {
        netsteer::WriteLog(kRestoreLogPrefix + message);
    };
    const RouteRestoreResult result = velk::RestoreSavedRouting(settings);
    const bool ok = result.outcome == RouteRestoreOutcome::kNothingSaved ||
                    result.outcome == RouteRestoreOutcome::kRestored;
    return SetupResult{ok, result.code, result.detail};
}

}  // namespace velk::setup
