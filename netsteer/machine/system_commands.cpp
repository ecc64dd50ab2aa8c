#include "netsteer/machine/system_commands.h"

namespace netsteer {
namespace {

// The route tool's fixed pieces carry their own blanks, so each command is a
// plain concatenation.
constexpr wchar_t kRouteAdd[] = L"route add ";
constexpr wchar_t kRouteDelete[] = L"route delete ";
constexpr wchar_t kMask[] = L" mask ";
constexpr wchar_t kInterface[] = L" if ";
constexpr wchar_t kMetric[] = L" metric ";

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

}  // namespace

std::wstring RoutePrintCommand() {
    return L"route print -4";
}

std::wstring ShowInterfacesCommand() {
    return L"netsh interface ipv4 show interfaces";
}

std::wstring RouteCommand(const RouteChange& change) {
    const Route& route = change.route;
    std::wstring command = change.action == RouteAction::kAdd ? kRouteAdd : kRouteDelete;
    command += route.destination;
    if (route.mask) {
        command += kMask + *route.mask;
    }
    if (route.gateway) {
        command += L" " + *route.gateway;
    }
    if (route.interfaceIndex) {
        command += kInterface + Decimal(*route.interfaceIndex);
    }
    if (route.metric) {
        command += kMetric + Decimal(*route.metric);
    }
    return command;
}

std::wstring UplinkIndexQueryCommand(const std::wstring& address) {
    return kUplinkQueryHead + address + kUplinkQueryTail;
}

std::wstring InterfaceAddressesQueryCommand(int interfaceIndex) {
    return kAddressQueryHead + Decimal(interfaceIndex) + kAddressQueryTail;
}

}  // namespace netsteer
