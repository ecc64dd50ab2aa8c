#include "tools/velksetup/route_restore.h"

#include <windows.h>

#include "common/service_handles.h"
#include "netsteer/machine/helper_log.h"
#include "service/service_constants.h"
#include "service/supervision/route_restore.h"
#include "tools/velksetup/setup_constants.h"

namespace velk::setup {
namespace {

// A service that is stopping puts the routing back itself once its core is
// gone, and a netsteer run beside its own would race it over the same routes.
// Windows Installer waits for a stop; Wine's does not (seen here), nor need a
// caller of this step. So it waits, bounded by the longest such stop.
void AwaitServiceStopped() {
    const UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const UniqueScHandle service(
        manager ? OpenServiceW(manager.Get(), kServiceName, SERVICE_QUERY_STATUS) : nullptr);
    if (!service) {
        return;
    }
    const ULONGLONG deadline = GetTickCount64() + kServiceStopLimitMs;
    SERVICE_STATUS status{};
    while (QueryServiceStatus(service.Get(), &status) &&
           status.dwCurrentState == SERVICE_STOP_PENDING && GetTickCount64() < deadline) {
        Sleep(kServiceStopPollMs);
    }
}

}  // namespace

SetupResult RestoreSavedRouting(const std::wstring& programDirectory) {
    AwaitServiceStopped();
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
