#pragma once
// Every command line that netsteer hands to the command interpreter, each
// composed here and nowhere else. Integers are written in decimal without
// padding, with a leading "-" when negative.
#include <string>

namespace netsteer {

// "route print -4"
std::wstring RoutePrintCommand();
// "netsh interface ipv4 show interfaces"
std::wstring ShowInterfacesCommand();
// "route add <server> mask 255.255.255.255 <gateway> if <index> metric 1"
std::wstring AddServerBypassRouteCommand(const std::wstring& serverIp, const std::wstring& gateway,
                                         int interfaceIndex);
// "route add 0.0.0.0 mask 0.0.0.0 0.0.0.0 if <tunnel index> metric 1"
std::wstring AddTunnelDefaultRouteCommand(int tunnelIndex);
// "route add 0.0.0.0 mask 0.0.0.0 <gateway> if <index> metric 25"
std::wstring RestoreDefaultRouteCommand(const std::wstring& gateway, int interfaceIndex);
// "route delete <server>"
std::wstring DeleteServerBypassRouteCommand(const std::wstring& serverIp);
// "route delete 0.0.0.0 mask 0.0.0.0 <gateway>"
std::wstring DeleteDefaultRouteCommand(const std::wstring& gateway);
// "route delete 0.0.0.0 mask 0.0.0.0 0.0.0.0 if <tunnel index>"
std::wstring DeleteTunnelDefaultRouteCommand(int tunnelIndex);
// The PowerShell Get-NetIPAddress query for the interface that owns `address`.
std::wstring UplinkIndexQueryCommand(const std::wstring& address);
// The PowerShell Get-NetIPAddress query for the IPv4 addresses of the
// interface with that index, one a line.
std::wstring InterfaceAddressesQueryCommand(int interfaceIndex);

}  // namespace netsteer
