// VelkVPNService.exe: the service program. It has no console mode. Here the
// parts are put together: the Windows operations log to the service log.
#include "service/channel/service_log.h"
#include "service/host/service_host.h"
#include "service/supervision/windows_operations.h"

int wmain() {
    velk::LogOperationsTo(velk::WriteServiceLog);
    return velk::RunServiceProgram(velk::WindowsCommandOperations());
}
