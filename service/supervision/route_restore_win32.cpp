#include "service/supervision/route_restore.h"

#include <windows.h>

#include "common/wide_text.h"
#include "netsteer/control/route_state.h"
#include "service/supervision/helper_runner.h"

namespace velk {

RouteRestoreResult RestoreSavedRouting(const RouteRestoreSettings& settings) {
    auto logged = [&settings](RouteRestoreResult result) {
        LogTo(settings.log, result.detail);
        return result;
    };
    if (GetFileAttributesW(settings.stateFilePath.c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND) {
        return RouteRestoreResult{RouteRestoreOutcome::kNothingSaved, 0,
                                  L"no saved routing to restore", L""};
    }
    netsteer::RouteState state;
    if (!netsteer::LoadState(settings.stateFilePath, state)) {
        return logged(RouteRestoreResult{RouteRestoreOutcome::kStateUnusable, ERROR_INVALID_DATA,
                                         L"the route state file cannot be used; the routing is "
                                         L"left as it is",
                                         L""});
    }
    LogTo(settings.log, L"restoring the saved routing " + settings.occasion + L": netsteer stop " +
                            state.serverIp);
    HelperRunSettings run;
    run.workingDirectory = settings.programDirectory;
    run.log = settings.log;
    run.progress = settings.progress;
    const OpResult result =
        RunHelperProcess(run, settings.programDirectory + kHelperProgramName,
                         L"stop \"" + state.serverIp + L"\"", settings.timeoutMs);
    if (result.ok) {
        return logged(RouteRestoreResult{RouteRestoreOutcome::kRestored, 0,
                                         L"saved routing restored (netsteer stop returned 0)",
                                         state.serverIp});
    }
    return logged(RouteRestoreResult{
        RouteRestoreOutcome::kNotRestored, result.code,
        L"saved routing not restored: netsteer stop returned " + ToDecimal(result.code),
        state.serverIp});
}

void ClearLeftoverDnsRules(const RouteRestoreSettings& settings) {
    HelperRunSettings run;
    run.workingDirectory = settings.programDirectory;
    run.log = settings.log;
    run.progress = settings.progress;
    const OpResult result = RunHelperProcess(run, settings.programDirectory + kHelperProgramName,
                                             netsteer::kClearDnsAction, settings.timeoutMs);
    if (!result.ok) {
        LogTo(settings.log, L"tagged DNS rules not cleared: netsteer clear-dns returned " +
                                ToDecimal(result.code));
    }
}

}  // namespace velk
