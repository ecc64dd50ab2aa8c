#include "service/host/service_host.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "common/unique_handle.h"
#include "common/win32_result.h"
#include "common/wide_text.h"
#include "service/service_constants.h"
#include "service/supervision/module_directory.h"

namespace velk {

// The host state of one run, shared by ServiceMain's thread and the control
// manager's thread. `stopEvent` is read and closed under `stopEventMutex`, so
// that a stop control arriving while ServiceMain closes the event never
// signals a closed (or reused) handle, nor reports STOP_PENDING after STOPPED.
struct ServiceHostRun::State {
    ServiceHostPlatform platform;
    CommandOperations* operations = nullptr;
    // Written and reported by both threads, one report at a time.
    std::mutex statusMutex;
    SERVICE_STATUS serviceStatus{};
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    // Taken before statusMutex where both are held.
    std::mutex stopEventMutex;
    HANDLE stopEvent = nullptr;
    // Advanced with every report of progress while the service starts or stops.
    DWORD checkPoint = 0;
};

namespace {

using ServiceHostState = ServiceHostRun::State;

// The run ServiceMain and the control handler act on (ServiceHostRun).
std::atomic<ServiceHostState*> runningHost{nullptr};

void Report(ServiceHostState& host, DWORD state, DWORD controlsAccepted, DWORD win32ExitCode,
            DWORD waitHint, DWORD checkPoint = 0) {
    std::lock_guard<std::mutex> lock(host.statusMutex);
    SERVICE_STATUS& status = host.serviceStatus;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = controlsAccepted;
    status.dwWin32ExitCode = win32ExitCode;
    status.dwServiceSpecificExitCode = 0;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = waitHint;
    host.platform.setStatus(host.statusHandle, status);
}

// A report of progress with the next checkpoint, while starting or stopping.
void ReportProgress(DWORD state, DWORD controlsAccepted, std::uint32_t remainingMs) {
    ServiceHostState* host = runningHost.load();
    if (host != nullptr) {
        Report(*host, state, controlsAccepted, 0, remainingMs + kServicePendingWaitHintMs,
               ++host->checkPoint);
    }
}

}  // namespace

void ReportStopProgress(std::uint32_t remainingMs) {
    ReportProgress(SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, remainingMs);
}

namespace {

void ReportStartProgress(std::uint32_t remainingMs) {
    ReportProgress(SERVICE_START_PENDING, 0, remainingMs);
}

void RestoreRoutingIfSaved(ServiceHostState& host, const wchar_t* occasion,
                           std::function<void(std::uint32_t)> progress) {
    if (!host.platform.restoreSavedRouting) {
        return;
    }
    RouteRestoreSettings settings;
    settings.occasion = occasion;
    settings.log = host.platform.restoreLog;
    settings.progress = std::move(progress);
    const RouteRestoreResult result = host.platform.restoreSavedRouting(std::move(settings));
    if (!host.platform.events || result.outcome == RouteRestoreOutcome::kNothingSaved) {
        return;
    }
    const std::wstring server = result.server.empty() ? L"unknown" : result.server;
    host.platform.events(result.outcome == RouteRestoreOutcome::kRestored
                             ? ServiceEvent::kRoutingRestored
                             : ServiceEvent::kRestoreFailed,
                         {server, ToDecimal(result.code)});
}

}  // namespace

ServiceHostRun::ServiceHostRun(ServiceHostPlatform platform, CommandOperations& operations)
    : state_(std::make_unique<State>()) {
    state_->platform = std::move(platform);
    state_->operations = &operations;
    runningHost.store(state_.get());
}

ServiceHostRun::~ServiceHostRun() {
    runningHost.store(nullptr);
}

ServiceHostPlatform WindowsServiceHostPlatform(const ServiceParts& parts) {
    ServiceHostPlatform platform;
    platform.startDispatcher = [](const SERVICE_TABLE_ENTRYW* table) {
        return StartServiceCtrlDispatcherW(table);
    };
    platform.registerHandler = [](const wchar_t* name, LPHANDLER_FUNCTION_EX handler) {
        return RegisterServiceCtrlHandlerExW(name, handler, nullptr);
    };
    platform.setStatus = [](SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) {
        SERVICE_STATUS copy = status;
        SetServiceStatus(handle, &copy);
    };
    platform.createStopEvent = [] { return CreateEventW(nullptr, TRUE, FALSE, nullptr); };
    platform.runPipeServer = [&parts](HANDLE stopEvent,
                                      const std::function<void()>& onceListening) {
        parts.operations.WatchForStop(stopEvent, ReportStopProgress);
        PipeServerOptions options = parts.pipe;
        options.onceListening = onceListening;
        RunPipeServer(stopEvent, parts.requests, parts.log, options);
        // The event is closed once the loop has ended.
        parts.operations.WatchForStop(nullptr, nullptr);
    };
    platform.log = parts.log;
    platform.events = parts.events;
    platform.restoreSavedRouting = [](RouteRestoreSettings settings) {
        settings.programDirectory = GetModuleDirectory();
        return velk::RestoreSavedRouting(settings);
    };
    platform.clearDnsRules = [](RouteRestoreSettings settings) {
        settings.programDirectory = GetModuleDirectory();
        velk::ClearLeftoverDnsRules(settings);
    };
    platform.restoreLog = RouteRestoreLog(parts.log);
    platform.prepareDataFolder = [&parts] { return parts.operations.PrepareDataDirectory(); };
    return platform;
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    ServiceHostState* running = runningHost.load();
    if (running == nullptr) {
        return;
    }
    ServiceHostState& host = *running;
    host.statusHandle = host.platform.registerHandler(kServiceName, ServiceControlHandler);
    if (host.statusHandle == nullptr) {
        return;
    }
    Report(host, SERVICE_START_PENDING, 0, 0, kServicePendingWaitHintMs);

    UniqueHandle stopEvent(host.platform.createStopEvent());
    if (!stopEvent) {
        const Win32Error error = LastError(L"CreateEventW");
        host.platform.log(FailureText(error));
        Report(host, SERVICE_STOPPED, SERVICE_ACCEPT_STOP, error.code, 0);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(host.stopEventMutex);
        host.stopEvent = stopEvent.Get();
    }
    host.platform.log(L"VelkVPNService started.");
    // The start-up work runs once the pipe's instances hold its name, so that
    // no other process can take the name meanwhile and hear what clients
    // send; they are answered once it is done.
    host.platform.runPipeServer(stopEvent.Get(), [&host] {
        if (host.platform.prepareDataFolder) {
            // Logged where it failed; each xray_start tries again and answers it.
            static_cast<void>(host.platform.prepareDataFolder());
        }
        RestoreRoutingIfSaved(host, kRestoreAtStart, ReportStartProgress);
        if (host.platform.clearDnsRules) {
            RouteRestoreSettings settings;
            settings.occasion = kRestoreAtStart;
            settings.log = host.platform.restoreLog;
            settings.progress = ReportStartProgress;
            host.platform.clearDnsRules(std::move(settings));
        }
        Report(host, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0);
        if (host.platform.events) {
            host.platform.events(ServiceEvent::kServiceStarted, {});
        }
    });

    // A core still running is ended before the service says it has stopped;
    // that may take the core's whole termination wait.
    ReportStopProgress(kCoreTerminateWaitMs);
    host.operations->StopXray();
    // Routing follows the core: left pointed into its tunnel, the machine
    // would have no working route.
    RestoreRoutingIfSaved(host, kRestoreAtStop, ReportStopProgress);
    {
        std::lock_guard<std::mutex> lock(host.stopEventMutex);
        host.stopEvent = INVALID_HANDLE_VALUE;
    }
    stopEvent.Reset();
    host.platform.log(L"VelkVPNService stopped.");
    if (host.platform.events) {
        host.platform.events(ServiceEvent::kServiceStopped, {});
    }
    Report(host, SERVICE_STOPPED, SERVICE_ACCEPT_STOP, 0, 0);
}

DWORD WINAPI ServiceControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
    // Shutdown is not accepted: the system ends the service, the job ends the
    // core, and the routes, added without -p, do not outlive the restart. The
    // state file left behind is dealt with when the service starts again,
    // rather than running route commands against the shutdown's time limit.
    if (control == SERVICE_CONTROL_INTERROGATE) {
        return NO_ERROR;  // answered even though nothing changes
    }
    if (control != SERVICE_CONTROL_STOP) {
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
    ServiceHostState* running = runningHost.load();
    if (running == nullptr) {
        return NO_ERROR;
    }
    ServiceHostState& host = *running;
    host.platform.log(L"Service stop requested.");
    // Under the event's lock: once ServiceMain has let the event go it is
    // about to report STOPPED, and a service never goes back from STOPPED.
    std::lock_guard<std::mutex> lock(host.stopEventMutex);
    if (host.stopEvent != INVALID_HANDLE_VALUE && host.stopEvent != nullptr) {
        Report(host, SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 0, kServicePendingWaitHintMs);
        // The pipe server waits on the event and ends at once.
        SetEvent(host.stopEvent);
    }
    return NO_ERROR;
}

int RunServiceProgram(ServiceHostPlatform platform, CommandOperations& operations) {
    // The run holds the platform from here on.
    const LogSink log = platform.log;
    const auto startDispatcher = platform.startDispatcher;
    const ServiceHostRun run(std::move(platform), operations);
    SERVICE_TABLE_ENTRYW table[] = {
        {const_cast<LPWSTR>(kServiceName), ServiceMain},
        {nullptr, nullptr},
    };
    if (startDispatcher(table)) {
        return 0;
    }
    const std::wstring message = L"This executable must be run as a Windows Service.";
    log(message);
    std::fwprintf(stderr, L"%ls\n", message.c_str());
    return 1;
}

}  // namespace velk
