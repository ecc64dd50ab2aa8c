#pragma once
// The service's reports to the Windows Application event log, under the
// source "VelkVPNService" with the message table compiled into the program
// (the installers register the source).
#include "service/supervision/service_events.h"

namespace velk {

// Reports each event with its message id and severity, refusals coalesced
// per account (RefusalCoalescer, kRefusalEventWindowMs): all sinks it gives
// share one coalescer. An event that cannot be reported is dropped: the event
// log is no reason to fail a request.
EventSink ServiceEventLog();

}  // namespace velk
