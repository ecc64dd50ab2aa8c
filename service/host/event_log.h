#pragma once
// The service's reports to the Windows Application event log, under the
// source "VelkVPNService" with the message table compiled into the program
// (the installers register the source).
#include <memory>
#include <string>
#include <vector>

#include "service/supervision/service_events.h"

namespace velk {

// The registered source, made once by the program that puts the service
// together. Reports each event with its message id and severity, refusals
// coalesced per account (RefusalCoalescer, kRefusalEventWindowMs), from any
// thread. An event that cannot be reported is dropped: the event log is no
// reason to fail a request.
class ServiceEventLog {
  public:
    ServiceEventLog();
    ~ServiceEventLog();
    ServiceEventLog(const ServiceEventLog&) = delete;
    ServiceEventLog& operator=(const ServiceEventLog&) = delete;

    void Report(ServiceEvent event, const std::vector<std::wstring>& inserts);

    // A sink that reports here; it must not outlive this.
    EventSink Sink();

  private:
    class Coalesced;
    std::unique_ptr<Coalesced> coalesced_;
};

}  // namespace velk
