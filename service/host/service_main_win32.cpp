// VelkVPNService.exe: the service program. It has no console mode. Here the
// parts are put together: the Windows operations log to the service log and
// report their events to the event log.
#include "service/channel/service_log.h"
#include "service/host/event_log.h"
#include "service/host/service_host.h"
#include "service/supervision/windows_operations.h"

int wmain() {
    velk::LogOperationsTo(velk::WriteServiceLog);
    velk::ReportOperationEventsTo(velk::ServiceEventLog());
    return velk::RunServiceProgram(velk::WindowsCommandOperations());
}
