#include "tools/velksetup/route_restore.h"

#include <windows.h>

#include "common/wide_text.h"
#include "netsteer/control/route_state.h"
#include "netsteer/netsteer_constants.h"
#include "netsteer/machine/helper_log.h"
#include "service/service_constants.h"
#include "service/supervision/helper_runner.h"
#include "tools/velksetup/setup_constants.h"

namespace velk::setup {
namespace {

void Log(const std::wstring& message) {
    netsteer::WriteLog(kRestoreLogPrefix + message);
}

SetupResult Logged(SetupResult result) {
    Log(result.detail);
    return result;
}

}  // namespace

SetupResult RestoreSavedRouting(const std::wstring& programDirectory) {
    if (GetFileAttributesW(netsteer::kStateFilePath) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND) {
        return SetupResult{true, 0, L"no saved routing to restore"};
    }
    netsteer::RouteState state;
    if (!netsteer::LoadState(netsteer::kStateFilePath, state)) {
        return Logged(SetupResult{false, ERROR_INVALID_DATA,
                                  L"the route state file cannot be used; the routing is left as "
                                  L"it is"});
    }
    Log(L"restoring the saved routing before removal: netsteer stop " + state.serverIp);
    HelperRunSettings settings;
    settings.workingDirectory = programDirectory;
    settings.log = Log;
    const OpResult run = RunHelperProcess(settings, programDirectory + kHelperProgramName,
                                          L"stop \"" + state.serverIp + L"\"", kHelperTimeoutMs);
    if (run.ok) {
        return Logged(SetupResult{true, 0, L"saved routing restored (netsteer stop returned 0)"});
    }
    return Logged(
        SetupResult{false, run.code,
                    L"saved routing not restored: netsteer stop returned " + ToDecimal(run.code)});
}

}  // namespace velk::setup
