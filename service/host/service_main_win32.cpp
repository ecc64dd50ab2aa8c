// VelkVPNService.exe: the service program. It has no console mode.
#include "service/host/service_host.h"
#include "service/supervision/windows_operations.h"

int wmain() {
    return velk::RunServiceProgram(velk::WindowsCommandOperations());
}
