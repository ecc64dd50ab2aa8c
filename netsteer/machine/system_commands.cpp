#include "netsteer/machine/system_commands.h"

#include "netsteer/netsteer_constants.h"
#include "netsteer/machine/route_listing.h"

namespace netsteer {
namespace {

// The route tool's fixed pieces carry their own blanks, so each command is a
// plain concatenation.
constexpr wchar_t kRouteAdd[] = L"route add ";
constexpr wchar_t kRouteDelete[] = L"route delete ";
constexpr wchar_t kInterface[] = L" if ";

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

// "<destination> mask <mask> ": what a route leads to, as the tool takes it.
std::wstring Target(const std::wstring& destination, const wchar_t* mask) {
    return destination + L" mask " + mask + L" ";
}

// "0.0.0.0 mask 0.0.0.0 ": the default route's destination and mask.
std::wstring DefaultDestination() {
    return Target(kAnyAddress, kAnyAddress);
}

std::wstring Decimal(int value) {
    return std::to_wstring(value);
}

// " if <index> metric <metric>": where an added route leads out, and its metric.
std::wstring InterfaceAndMetric(int interfaceIndex, int metric) {
    return kInterface + Decimal(interfaceIndex) + L" metric " + Decimal(metric);
}

}  // namespace

std::wstring RoutePrintCommand() {
    return L"route print -4";
}

std::wstring ShowInterfacesCommand() {
    return L"netsh interface ipv4 show interfaces";
}

std::wstring AddServerBypassRouteCommand(const std::wstring& serverIp, const std::wstring& gateway,
                                         int interfaceIndex) {
    return kRouteAdd + Target(serverIp, kHostMask) + gateway +
           InterfaceAndMetric(interfaceIndex, kBypassRouteMetric);
}

std::wstring AddTunnelDefaultRouteCommand(int tunnelIndex) {
    return kRouteAdd + DefaultDestination() + kAnyAddress +
           InterfaceAndMetric(tunnelIndex, kTunnelDefaultRouteMetric);
}

std::wstring RestoreDefaultRouteCommand(const std::wstring& gateway, int interfaceIndex) {
    return kRouteAdd + DefaultDestination() + gateway +
           InterfaceAndMetric(interfaceIndex, kRestoredDefaultRouteMetric);
}

std::wstring DeleteServerBypassRouteCommand(const std::wstring& serverIp) {
    return kRouteDelete + serverIp;
}

std::wstring DeleteDefaultRouteCommand(const std::wstring& gateway) {
    return kRouteDelete + DefaultDestination() + gateway;
}

std::wstring DeleteTunnelDefaultRouteCommand(int tunnelIndex) {
    return kRouteDelete + DefaultDestination() + kAnyAddress + kInterface + Decimal(tunnelIndex);
}

std::wstring UplinkIndexQueryCommand(const std::wstring& address) {
    return kUplinkQueryHead + address + kUplinkQueryTail;
}

std::wstring InterfaceAddressesQueryCommand(int interfaceIndex) {
    return kAddressQueryHead + Decimal(interfaceIndex) + kAddressQueryTail;
}

}  // namespace netsteer
