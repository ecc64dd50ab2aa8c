#include "service/host/event_log.h"

#include <windows.h>

#include <mutex>
#include <vector>

#include "common/service_handles.h"
#include "service/service_constants.h"
#include "service/supervision/refusal_coalescer.h"
#include "service_messages.h"

namespace velk {
namespace {

// Each event's message (whose id carries the severity in its top bits, the
// ServiceEvent value in the rest) and its type in the log.
struct EventKind {
    ServiceEvent event;
    DWORD messageId;
    WORD type;
};

constexpr EventKind kEventKinds[] = {
    {ServiceEvent::kServiceStarted, MSG_SERVICE_STARTED, EVENTLOG_INFORMATION_TYPE},
    {ServiceEvent::kServiceStopped, MSG_SERVICE_STOPPED, EVENTLOG_INFORMATION_TYPE},
    {ServiceEvent::kRequestRefused, MSG_REQUEST_REFUSED, EVENTLOG_WARNING_TYPE},
    {ServiceEvent::kCoreEnded, MSG_CORE_ENDED, EVENTLOG_WARNING_TYPE},
    {ServiceEvent::kConfigRefused, MSG_CONFIG_REFUSED, EVENTLOG_WARNING_TYPE},
    {ServiceEvent::kFileMovedAside, MSG_FILE_MOVED_ASIDE, EVENTLOG_WARNING_TYPE},
    {ServiceEvent::kRoutingRestored, MSG_ROUTING_RESTORED, EVENTLOG_INFORMATION_TYPE},
    {ServiceEvent::kRestoreFailed, MSG_RESTORE_FAILED, EVENTLOG_ERROR_TYPE},
};

constexpr bool MessageIdsMatchEvents() {
    for (const EventKind& kind : kEventKinds) {
        if ((kind.messageId & 0xFFFFu) != static_cast<DWORD>(kind.event)) {
            return false;
        }
    }
    return true;
}
static_assert(MessageIdsMatchEvents(), "service_messages.mc and ServiceEvent disagree");

const EventKind* KindOf(ServiceEvent event) {
    for (const EventKind& kind : kEventKinds) {
        if (kind.event == event) {
            return &kind;
        }
    }
    return nullptr;
}

// The registered source, for as long as the event log that holds it.
class EventSource {
  public:
    EventSource() : handle_(RegisterEventSourceW(nullptr, kServiceName)) {}

    void Report(ServiceEvent event, const std::vector<std::wstring>& inserts) const {
        if (!handle_) {
            return;
        }
        std::vector<LPCWSTR> strings;
        strings.reserve(inserts.size());
        for (const std::wstring& insert : inserts) {
            strings.push_back(insert.c_str());
        }
        const EventKind* kind = KindOf(event);
        if (kind == nullptr) {
            return;
        }
        ReportEventW(handle_.Get(), kind->type, 0, kind->messageId, nullptr,
                     static_cast<WORD>(strings.size()), 0,
                     strings.empty() ? nullptr : strings.data(), nullptr);
    }

  private:
    UniqueEventSource handle_;
};

}  // namespace

// The source with the refusals coalesced on their way to it: every sink
// ServiceEventLog gives shares it, whichever thread reports.
class ServiceEventLog::Coalesced {
  public:
    Coalesced()
        : coalescer_(
              [this](ServiceEvent event, const std::vector<std::wstring>& inserts) {
                  source_.Report(event, inserts);
              },
              [] { return static_cast<std::uint64_t>(GetTickCount64()); }, kRefusalEventWindowMs,
              kRefusalEventAccounts) {}

    void Report(ServiceEvent event, const std::vector<std::wstring>& inserts) {
        std::lock_guard<std::mutex> lock(mutex_);
        coalescer_.Report(event, inserts);
    }

  private:
    std::mutex mutex_;
    EventSource source_;
    RefusalCoalescer coalescer_;
};

ServiceEventLog::ServiceEventLog() : coalesced_(std::make_unique<Coalesced>()) {}

ServiceEventLog::~ServiceEventLog() = default;

void ServiceEventLog::Report(ServiceEvent event, const std::vector<std::wstring>& inserts) {
    coalesced_->Report(event, inserts);
}

EventSink ServiceEventLog::Sink() {
    return [this](ServiceEvent event, const std::vector<std::wstring>& inserts) {
        Report(event, inserts);
    };
}

}  // namespace velk
