// VelkVPNService.exe: the service program. It has no console mode. Here the
// parts are made and put together: the event log, the Windows operations
// (logging to the service log), and the requests carried out with them.
#include "service/channel/service_log.h"
#include "service/channel/service_requests.h"
#include "service/host/event_log.h"
#include "service/host/service_host.h"
#include "service/supervision/windows_operations.h"

int wmain() {
    velk::ServiceEventLog eventLog;
    velk::WindowsOperations operations(velk::WriteServiceLog, eventLog.Sink());
    velk::ServiceRequests requests(operations, velk::WriteServiceLog, eventLog.Sink());
    const velk::ServiceParts parts{operations, requests, velk::WriteServiceLog, eventLog.Sink(),
                                   velk::PipeServerOptions{}};
    return velk::RunServiceProgram(velk::WindowsServiceHostPlatform(parts), operations);
}
