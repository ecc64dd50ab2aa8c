#include "netsteer/machine/system_commands.h"

#include "netsteer/netsteer_constants.h"

namespace netsteer {
namespace {

// The uplink query: the address goes between the two apostrophes, unescaped.
constexpr wchar_t kUplinkQueryHead[] =
    L"powershell -NoProfile -WindowStyle Hidden -Command \"$x = Get-NetIPAddress -AddressFamily "
    L"IPv4 | Where-Object {$_.IPAddress -eq '";
constexpr wchar_t kUplinkQueryTail[] =
    L"'} | Select-Object -First 1 -ExpandProperty InterfaceIndex; if ($x) { Write-Output $x }\"";

// The interface address query: the index goes between head and tail. Errors
// are kept quiet so that only addresses are printed.
constexpr wchar_t kAddressQueryHead[] =
    L"powershell -NoProfile -WindowStyle Hidden -Command \"Get-NetIPAddress -AddressFamily IPv4 "
    L"-InterfaceIndex ";
constexpr wchar_t kAddressQueryTail[] =
    L" -ErrorAction SilentlyContinue | Select-Object -ExpandProperty IPAddress\"";

std::wstring Decimal(int value) {
    return std::to_wstring(value);
}

// " <word> <value>": a field of a route as the route tool takes it.
void AppendField(std::wstring& command, const wchar_t* word, const std::wstring& value) {
    command += L' ';
    command += word;
    command += L' ';
    command += value;
}

}  // namespace

std::wstring RoutePrintCommand() {
    return L"route print -4";
}

std::wstring ShowInterfacesCommand() {
    return L"netsh interface ipv4 show interfaces";
}

std::wstring RouteCommand(const RouteChange& change) {
    const Route& route = change.route;
    std::wstring command = change.action == RouteAction::kAdd ? L"route add " : L"route delete ";
    command += route.destination;
    if (route.mask) {
        AppendField(command, L"mask", *route.mask);
    }
    if (route.gateway) {
        command += L' ';
        command += *route.gateway;
    }
    if (route.interfaceIndex) {
        AppendField(command, L"if", Decimal(*route.interfaceIndex));
    }
    if (route.metric) {
        AppendField(command, L"metric", Decimal(*route.metric));
    }
    return command;
}

std::wstring UplinkIndexQueryCommand(const std::wstring& address) {
    return kUplinkQueryHead + address + kUplinkQueryTail;
}

std::wstring InterfaceAddressesQueryCommand(int interfaceIndex) {
    return kAddressQueryHead + Decimal(interfaceIndex) + kAddressQueryTail;
}

std::wstring Ipv6RouteCommand(bool add, const std::wstring& prefix, int interfaceIndex) {
    return std::wstring(add ? L"netsh interface ipv6 add route "
                            : L"netsh interface ipv6 delete route ") +
           prefix + L" interface=" + Decimal(interfaceIndex) + L" store=active";
}

std::wstring AddNrptRuleCommand(const std::vector<std::wstring>& servers) {
    std::wstring list;
    for (const std::wstring& server : servers) {
        list += (list.empty() ? L"'" : L",'") + server + L"'";
    }
    return L"powershell -NoProfile -WindowStyle Hidden -Command \"Add-DnsClientNrptRule -Namespace "
           L"'.' -NameServers " +
           list + L" -Comment '" + kNrptRuleComment + L"'\"";
}

std::wstring RemoveNrptRulesCommand() {
    return std::wstring(
               L"powershell -NoProfile -WindowStyle Hidden -Command \"Get-DnsClientNrptRule | "
               L"Where-Object {$_.Comment -eq '") +
           kNrptRuleComment + L"'} | Remove-DnsClientNrptRule -Force\"";
}

std::wstring FlushDnsCommand() {
    return L"ipconfig /flushdns";
}

}  // namespace netsteer
