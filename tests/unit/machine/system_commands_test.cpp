#include "netsteer/machine/system_commands.h"

#include <gtest/gtest.h>

namespace {

struct CommandCase {
    const char* name;
    std::wstring composed;
    std::wstring expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const CommandCase& c, std::ostream* out) {
    *out << c.name;
}

class CommandLineTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandLineTest, ComposedCharacterForCharacter) {
    EXPECT_EQ(GetParam().composed, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandLineTest,
    ::testing::Values(
        CommandCase{"RoutePrint", netsteer::RoutePrintCommand(), L"route print -4"},
        CommandCase{"ShowInterfaces", netsteer::ShowInterfacesCommand(),
                    L"netsh interface ipv4 show interfaces"},
        CommandCase{"AddServerBypass",
                    netsteer::RouteCommand(netsteer::AddServerBypassRoute(L"203.0.113.7",
                                                                          L"192.168.1.1", 12)),
                    L"route add 203.0.113.7 mask 255.255.255.255 192.168.1.1 if 12 metric 1"},
        CommandCase{"AddTunnelDefault", netsteer::RouteCommand(netsteer::AddTunnelDefaultRoute(45)),
                    L"route add 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45 metric 1"},
        CommandCase{"RestoreDefault",
                    netsteer::RouteCommand(netsteer::RestoreDefaultRoute(L"192.168.1.1", 12)),
                    L"route add 0.0.0.0 mask 0.0.0.0 192.168.1.1 if 12 metric 25"},
        CommandCase{"DeleteServerBypass",
                    netsteer::RouteCommand(netsteer::DeleteServerBypassRoute(L"203.0.113.7")),
                    L"route delete 203.0.113.7"},
        CommandCase{"DeleteDefault",
                    netsteer::RouteCommand(netsteer::DeleteDefaultRoute(L"10.0.0.1")),
                    L"route delete 0.0.0.0 mask 0.0.0.0 10.0.0.1"},
        CommandCase{"DeleteTunnelDefault",
                    netsteer::RouteCommand(netsteer::DeleteTunnelDefaultRoute(45)),
                    L"route delete 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45"},
        // Integers in plain decimal, a "-" when negative, no padding.
        CommandCase{"NegativeAndZeroIndices",
                    netsteer::RouteCommand(netsteer::RestoreDefaultRoute(L"g", -7)),
                    L"route add 0.0.0.0 mask 0.0.0.0 g if -7 metric 25"},
        CommandCase{"ExtremeIndex",
                    netsteer::RouteCommand(netsteer::AddTunnelDefaultRoute(-2147483647 - 1)),
                    L"route add 0.0.0.0 mask 0.0.0.0 0.0.0.0 if -2147483648 metric 1"},
        CommandCase{"ZeroIndex", netsteer::RouteCommand(netsteer::DeleteTunnelDefaultRoute(0)),
                    L"route delete 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 0"},
        CommandCase{"UplinkQuery", netsteer::UplinkIndexQueryCommand(L"192.168.1.23"),
                    L"powershell -NoProfile -WindowStyle Hidden -Command \"$x = Get-NetIPAddress "
                    L"-AddressFamily IPv4 | Where-Object {$_.IPAddress -eq '192.168.1.23'} | "
                    L"Select-Object -First 1 -ExpandProperty InterfaceIndex; if ($x) { "
                    L"Write-Output $x }\""},
        // Whatever the address holds, it sits unchanged between the two pieces.
        CommandCase{"UplinkQueryTakesTheAddressAsGiven",
                    netsteer::UplinkIndexQueryCommand(L"a'b\"c"),
                    L"powershell -NoProfile -WindowStyle Hidden -Command \"$x = Get-NetIPAddress "
                    L"-AddressFamily IPv4 | Where-Object {$_.IPAddress -eq 'a'b\"c'} | "
                    L"Select-Object -First 1 -ExpandProperty InterfaceIndex; if ($x) { "
                    L"Write-Output $x }\""},
        CommandCase{"InterfaceAddressesQuery", netsteer::InterfaceAddressesQueryCommand(45),
                    L"powershell -NoProfile -WindowStyle Hidden -Command \"Get-NetIPAddress "
                    L"-AddressFamily IPv4 -InterfaceIndex 45 -ErrorAction SilentlyContinue | "
                    L"Select-Object -ExpandProperty IPAddress\""}),
    [](const ::testing::TestParamInfo<CommandCase>& param) {
        return std::string(param.param.name);
    });

}  // namespace
