#pragma once
// VelkVPNService as a Windows service of its own process: the program entry,
// ServiceMain and the control handler, with the control manager's side
// reachable through ServiceHostPlatform so that tests can stand in for it.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "common/win32_result.h"
#include "service/channel/pipe_server.h"
#include "service/supervision/command_operations.h"
#include "service/supervision/route_restore.h"
#include "service/supervision/service_events.h"
#include "service/supervision/windows_operations.h"

namespace velk {

struct ServiceHostPlatform {
    std::function<BOOL(const SERVICE_TABLE_ENTRYW*)> startDispatcher;
    std::function<SERVICE_STATUS_HANDLE(const wchar_t*, LPHANDLER_FUNCTION_EX)> registerHandler;
    std::function<void(SERVICE_STATUS_HANDLE, const SERVICE_STATUS&)> setStatus;
    std::function<HANDLE()> createStopEvent;
    // Serves the pipe until the stop event is set; runs `onceListening` as
    // soon as the pipe's instances hold its name, before any request.
    std::function<void(HANDLE stopEvent, const std::function<void()>& onceListening)> runPipeServer;
    LogSink log;
    // The service's start and stop go to the event log.
    EventSink events;
    // Makes the data folder ours before any request can use it: the
    // installers made it, but it may have been replaced since. A failure is
    // logged there; each start of the core tries again.
    std::function<Win32Status()> prepareDataFolder;
    // Puts back the routing saved in the route state file, if there is one
    // (RestoreSavedRouting); the host fills in the occasion, the log and the
    // progress report.
    std::function<RouteRestoreResult(RouteRestoreSettings)> restoreSavedRouting;
    // Removes every DNS rule netsteer tagged, recorded or not
    // (ClearLeftoverDnsRules); run at each start, after the restore.
    std::function<void(RouteRestoreSettings)> clearDnsRules;
    // Where each of those restores reports its run and outcome.
    LogSink restoreLog;
};

// The restore's reports on Windows: each goes to `serviceLog` and, after
// kServiceRestoreLogPrefix, to the helper log, where the routing's story is.
LogSink RouteRestoreLog(LogSink serviceLog);

// The parts of the service, made by the program's entry and living as long
// as it: the one core slot and helper runner, what carries out requests, and
// where events go.
struct ServiceParts {
    WindowsOperations& operations;
    RequestHandler& requests;
    LogSink log;
    EventSink events;
    PipeServerOptions pipe;
};

// The real control manager, pipe and service log around `parts`, which must
// outlive what this gives.
ServiceHostPlatform WindowsServiceHostPlatform(const ServiceParts& parts);

// When the service starts and finds a route state file, the machine was left
// routed into a tunnel whose core is gone (the service died, or the machine
// lost power): ServiceMain puts the routing back while it reports
// START_PENDING with advancing checkpoints, before the pipe is served, so that
// no request can change the routing meanwhile. When it stops, it does the
// same after the core has been stopped, reporting STOP_PENDING progress.

// Reports STOP_PENDING with the next checkpoint and a wait hint that covers
// `remainingMs` more of waiting. Called on ServiceMain's thread once a stop
// has been asked for (the control handler reported STOP_PENDING first).
void ReportStopProgress(std::uint32_t remainingMs);

// Hands the service table to the control manager and blocks for the life of
// the service, with `operations` stopping the core at the stop. 0 after the
// service has run and stopped; 1, after logging "This executable must be run
// as a Windows Service.", when the process was not started by the control
// manager.
int RunServiceProgram(ServiceHostPlatform platform, CommandOperations& operations);

// One run of the service host: ServiceMain and the control handler act on it
// while it lives. The control manager gives ServiceMain no context, so the
// running host is found through one pointer that this sets and clears; one
// run at a time (RunServiceProgram makes one, tests make their own).
class ServiceHostRun {
  public:
    ServiceHostRun(ServiceHostPlatform platform, CommandOperations& operations);
    ~ServiceHostRun();
    ServiceHostRun(const ServiceHostRun&) = delete;
    ServiceHostRun& operator=(const ServiceHostRun&) = delete;

    struct State;

  private:
    std::unique_ptr<State> state_;
};

void WINAPI ServiceMain(DWORD argumentCount, LPWSTR* arguments);
DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID eventData,
                                   LPVOID context);

}  // namespace velk
