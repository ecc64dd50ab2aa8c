#pragma once
// The Windows implementation of CommandOperations: the core process manager,
// the route helper runner, the error log reader and the module directory.
#include <windows.h>

#include <cstdint>
#include <functional>

#include "common/log_sink.h"
#include "service/supervision/command_operations.h"
#include "service/supervision/service_events.h"

namespace velk {

// The process-wide instance; it owns the one core process slot.
CommandOperations& WindowsCommandOperations();

// Where that instance logs (nowhere until this is called); the program that
// puts the service together passes the service log.
void LogOperationsTo(LogSink log);

// Where that instance reports its events (nothing until this is called): a
// refused configuration, a file moved aside, a core that ended by itself. The
// service passes its event log.
void ReportOperationEventsTo(EventSink events);

// Makes that instance's data directory ready now, as each start of its core
// does (CoreProcessManager::PrepareDataDirectory); the service calls this as
// it starts.
Win32Status PrepareCoreDataDirectory();

// From now on, route helper runs of that instance watch `stopEvent` and,
// once it is set, call `progress` while they wait for the helper to end
// (see HelperRunSettings).
void WatchForServiceStop(HANDLE stopEvent, std::function<void(std::uint32_t)> progress);

}  // namespace velk
