#include "tools/netsim/netsim_tools.h"

#include "tools/netsim/netsim_ipv6_dns.h"
#include "tools/netsim/netsim_languages.h"
#include "tools/netsim/netsim_render.h"

namespace netsim {
namespace {

constexpr wchar_t kQueryHead[] =
    L"$x = Get-NetIPAddress -AddressFamily IPv4 | Where-Object {$_.IPAddress -eq '";
constexpr wchar_t kQueryTail[] =
    L"'} | Select-Object -First 1 -ExpandProperty InterfaceIndex; if ($x) { Write-Output $x }";

// The query for the IPv4 addresses of one interface, by index.
constexpr wchar_t kAddressQueryHead[] = L"Get-NetIPAddress -AddressFamily IPv4 -InterfaceIndex ";
constexpr wchar_t kAddressQueryTail[] =
    L" -ErrorAction SilentlyContinue | Select-Object -ExpandProperty IPAddress";

// The text between head and tail when the script is exactly that shape.
bool Between(const std::wstring& script, const std::wstring& head, const std::wstring& tail,
             std::wstring& middle) {
    if (script.size() <= head.size() + tail.size() || script.compare(0, head.size(), head) != 0 ||
        script.compare(script.size() - tail.size(), tail.size(), tail) != 0) {
        return false;
    }
    middle = script.substr(head.size(), script.size() - head.size() - tail.size());
    return true;
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
    return ToLower(a) == ToLower(b);
}

}  // namespace

std::wstring JoinCommandLine(const std::wstring& tool, const std::vector<std::wstring>& args) {
    std::wstring line = tool;
    for (const std::wstring& arg : args) {
        line += L" " + arg;
    }
    return line;
}

std::wstring UplinkQueryScript(const std::wstring& address) {
    return kQueryHead + address + kQueryTail;
}

bool TakeInjectedFailure(Machine& machine, const std::wstring& tool,
                         const std::vector<std::wstring>& args, ToolResult& result) {
    const std::wstring line = ToLower(JoinCommandLine(tool, args));
    for (auto it = machine.failures.begin(); it != machine.failures.end(); ++it) {
        if (it->remaining == 0 || line.find(ToLower(it->pattern)) == std::wstring::npos) {
            continue;
        }
        result = ToolResult{};
        if (!it->message.empty()) {
            result.out = it->message + L"\r\n";
            // The route tool follows each failure with a blank line.
            if (tool == L"route") {
                result.out += L"\r\n";
            }
            result.exitCode = 1;
        }
        if (it->remaining > 0 && --it->remaining == 0) {
            machine.failures.erase(it);
        }
        return true;
    }
    return false;
}

std::wstring FailureMessageByName(const std::wstring& name, const Language& language) {
    static const struct {
        const wchar_t* name;
        RouteMessage message;
    } kNamed[] = {
        {L"exists", RouteMessage::AddExists},
        {L"parameter", RouteMessage::AddParameter},
        {L"mask", RouteMessage::AddMask},
        {L"interface", RouteMessage::AddInterface},
        {L"notfound", RouteMessage::DeleteNotFound},
        {L"delete-parameter", RouteMessage::DeleteParameter},
        {L"elevation", RouteMessage::Elevation},
    };
    const std::wstring n = ToLower(name);
    for (const auto& named : kNamed) {
        if (n == named.name) {
            return MessageIn(language, named.message);
        }
    }
    if (n == L"silent") {
        return L"";
    }
    return name;
}

ToolResult RunNetsh(Machine& machine, const std::vector<std::wstring>& args) {
    ToolResult routeChange;
    if (RunNetshIpv6Route(machine, args, routeChange)) {
        return routeChange;
    }
    const bool showInterfaces = args.size() == 4 && EqualsNoCase(args[0], L"interface") &&
                                EqualsNoCase(args[1], L"ipv4") && EqualsNoCase(args[2], L"show") &&
                                EqualsNoCase(args[3], L"interfaces");
    if (!showInterfaces) {
        std::wstring joined;
        for (const std::wstring& arg : args) {
            joined += (joined.empty() ? L"" : L" ") + arg;
        }
        return ToolResult{L"The following command was not found: " + joined + L".\r\n", L"", 1};
    }
    ++machine.interfaceListings;
    if (machine.tunnelPending) {
        if (machine.tunnelCountdown <= 0) {
            machine.tunnelPending = false;
            AddInterface(machine, machine.pendingTunnel);
        } else {
            --machine.tunnelCountdown;
        }
    }
    return ToolResult{RenderInterfaceTable(machine), L"", 0};
}

ToolResult RunPowerShell(Machine& machine, const std::vector<std::wstring>& args) {
    // PowerShell joins everything after -Command into one script.
    std::size_t i = 0;
    bool noProfile = false;
    bool hidden = false;
    while (i < args.size() && !EqualsNoCase(args[i], L"-Command")) {
        if (EqualsNoCase(args[i], L"-NoProfile")) {
            noProfile = true;
        } else if (EqualsNoCase(args[i], L"-WindowStyle") && i + 1 < args.size() &&
                   EqualsNoCase(args[i + 1], L"Hidden")) {
            hidden = true;
            ++i;
        } else {
            break;
        }
        ++i;
    }
    std::wstring script;
    if (i < args.size() && EqualsNoCase(args[i], L"-Command")) {
        for (++i; i < args.size(); ++i) {
            script += (script.empty() ? L"" : L" ") + args[i];
        }
    }
    ToolResult nrpt;
    if (noProfile && RunNrptScript(machine, script, nrpt)) {
        return nrpt;
    }
    std::wstring address;
    std::wstring indexText;
    int index = 0;
    if (noProfile && hidden && Between(script, kAddressQueryHead, kAddressQueryTail, indexText) &&
        ParseCount(indexText, index)) {
        const Interface* item = FindInterface(machine, index);
        if (item == nullptr || item->address.empty()) {
            return ToolResult{};
        }
        return ToolResult{item->address + L"\r\n", L"", 0};
    }
    if (!noProfile || !hidden || !Between(script, kQueryHead, kQueryTail, address)) {
        return ToolResult{L"",
                          L"netsim powershell: only the Get-NetIPAddress interface index and "
                          L"address queries and the NRPT cmdlets are simulated; got: " +
                              JoinCommandLine(L"powershell", args) + L"\r\n",
                          1};
    }
    const Interface* item = FindInterfaceByAddress(machine, address);
    if (item == nullptr) {
        return ToolResult{};
    }
    return ToolResult{std::to_wstring(item->index) + L"\r\n", L"", 0};
}

}  // namespace netsim
