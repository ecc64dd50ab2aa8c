#include "service/host/event_log.h"

#include <windows.h>

#include <vector>

#include "service/service_constants.h"
#include "service_messages.h"

namespace velk {
namespace {

struct EventKind {
    DWORD messageId;
    WORD type;
};

// The message table's ids carry the severity in their top bits; the rest is
// the ServiceEvent value.
constexpr bool Matches(DWORD messageId, ServiceEvent event) {
    return (messageId & 0xFFFFu) == static_cast<DWORD>(event);
}
static_assert(Matches(MSG_SERVICE_STARTED, ServiceEvent::kServiceStarted), "message ids");
static_assert(Matches(MSG_SERVICE_STOPPED, ServiceEvent::kServiceStopped), "message ids");
static_assert(Matches(MSG_REQUEST_REFUSED, ServiceEvent::kRequestRefused), "message ids");
static_assert(Matches(MSG_CORE_ENDED, ServiceEvent::kCoreEnded), "message ids");
static_assert(Matches(MSG_CONFIG_REFUSED, ServiceEvent::kConfigRefused), "message ids");
static_assert(Matches(MSG_FILE_MOVED_ASIDE, ServiceEvent::kFileMovedAside), "message ids");
static_assert(Matches(MSG_ROUTING_RESTORED, ServiceEvent::kRoutingRestored), "message ids");
static_assert(Matches(MSG_RESTORE_FAILED, ServiceEvent::kRestoreFailed), "message ids");

EventKind KindOf(ServiceEvent event) {
    switch (event) {
        case ServiceEvent::kServiceStarted:
            return {MSG_SERVICE_STARTED, EVENTLOG_INFORMATION_TYPE};
        case ServiceEvent::kServiceStopped:
            return {MSG_SERVICE_STOPPED, EVENTLOG_INFORMATION_TYPE};
        case ServiceEvent::kRequestRefused:
            return {MSG_REQUEST_REFUSED, EVENTLOG_WARNING_TYPE};
        case ServiceEvent::kCoreEnded:
            return {MSG_CORE_ENDED, EVENTLOG_WARNING_TYPE};
        case ServiceEvent::kConfigRefused:
            return {MSG_CONFIG_REFUSED, EVENTLOG_WARNING_TYPE};
        case ServiceEvent::kFileMovedAside:
            return {MSG_FILE_MOVED_ASIDE, EVENTLOG_WARNING_TYPE};
        case ServiceEvent::kRoutingRestored:
            return {MSG_ROUTING_RESTORED, EVENTLOG_INFORMATION_TYPE};
        case ServiceEvent::kRestoreFailed:
            return {MSG_RESTORE_FAILED, EVENTLOG_ERROR_TYPE};
    }
    return {0, EVENTLOG_INFORMATION_TYPE};
}

// The registered source for the life of the process.
class EventSource {
  public:
    EventSource() : handle_(RegisterEventSourceW(nullptr, kServiceName)) {}
    ~EventSource() {
        if (handle_ != nullptr) {
            DeregisterEventSource(handle_);
        }
    }
    EventSource(const EventSource&) = delete;
    EventSource& operator=(const EventSource&) = delete;

    void Report(ServiceEvent event, const std::vector<std::wstring>& inserts) const {
        if (handle_ == nullptr) {
            return;
        }
        std::vector<LPCWSTR> strings;
        strings.reserve(inserts.size());
        for (const std::wstring& insert : inserts) {
            strings.push_back(insert.c_str());
        }
        const EventKind kind = KindOf(event);
        ReportEventW(handle_, kind.type, 0, kind.messageId, nullptr,
                     static_cast<WORD>(strings.size()), 0,
                     strings.empty() ? nullptr : strings.data(), nullptr);
    }

  private:
    HANDLE handle_;
};

}  // namespace

EventSink ServiceEventLog() {
    return [](ServiceEvent event, const std::vector<std::wstring>& inserts) {
        static const EventSource source;
        source.Report(event, inserts);
    };
}

}  // namespace velk
