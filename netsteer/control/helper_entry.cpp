#include "netsteer/control/helper_entry.h"

#include "netsteer/control/control_messages.h"
#include "netsteer/control/ipv6_dns_steering.h"
#include "netsteer/control/start_sequence.h"
#include "netsteer/control/stop_sequence.h"
#include "netsteer/netsteer_constants.h"

#include <string>
#include <vector>

namespace netsteer {

int HelperMain(ControlSystem& system, int argc, const wchar_t* const* argv) {
    // The service's time-out runs from the process start, so start's deadline
    // does too, not from after the host lookup.
    const std::uint64_t startedAtMs = system.MonotonicMs();
    // Needs no host: the service runs it at each start, routed or not.
    if (argc == 2 && argv != nullptr && argv[1] != nullptr &&
        std::wstring(argv[1]) == kClearDnsAction) {
        ClearTaggedDnsRules(system);
        return kExitOk;
    }
    if (argc < 3 || argv == nullptr || argv[1] == nullptr || argv[2] == nullptr) {
        return kExitBadCommandLine;
    }
    const std::wstring action(argv[1]);
    const std::wstring host(argv[2]);
    // `start <host> <dns servers>`: the servers go into a command line, so
    // a malformed list is a bad command line, refused before anything runs.
    std::vector<std::wstring> dnsServers;
    if (action == L"start" && argc > 3 && argv[3] != nullptr &&
        !ParseDnsServers(argv[3], dnsServers)) {
        return kExitBadCommandLine;
    }

    // Resolved for every action, before the action is looked at.
    const velk::Win32Result<std::wstring> resolved = system.ResolveServerHost(host);
    if (!resolved) {
        // Without Winsock nothing was learnt about the host: like a bad
        // command line, this ends without a log line.
        return kExitBadCommandLine;
    }
    const std::wstring& serverIp = resolved.value();
    if (serverIp.empty()) {
        system.Log(kMsgReturnHostNotResolved);
        return kExitHostNotResolved;
    }
    system.Log(kMsgResolvedServerIp + serverIp);
    system.Log(kMsgResolvedServerHost + host);

    if (action == L"start") {
        return RunStart(system, serverIp, startedAtMs, dnsServers);
    }
    if (action == L"stop") {
        return RunStop(system);
    }
    system.Log(kMsgReturnUnknownAction);
    return kExitUnknownAction;
}

}  // namespace netsteer
