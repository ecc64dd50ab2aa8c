#pragma once
// What the service reports to the Windows Application event log. The ids are
// the message ids of the service's message table (service_messages.mc); each
// event's inserts fill its message's %1, %2, ... in order.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velk {

enum class ServiceEvent : std::uint16_t {
    kServiceStarted = 1,   // (none)
    kServiceStopped = 2,   // (none)
    kRequestRefused = 3,   // action, account, process id (the event log adds the count)
    kCoreEnded = 4,        // process id, exit code
    kConfigRefused = 5,    // path, reason
    kFileMovedAside = 6,   // path, new path
    kRoutingRestored = 7,  // server, netsteer's exit code
    kRestoreFailed = 8,    // server, netsteer's exit code
};

// Where events go: the event log in the service, a recorder in tests. An
// empty sink drops them.
using EventSink = std::function<void(ServiceEvent event, const std::vector<std::wstring>& inserts)>;

}  // namespace velk
