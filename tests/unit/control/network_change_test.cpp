// Which tables show that the machine has left the network a route state was
// recorded on, read from listings in the real layout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netsteer/control/network_change.h"
#include "tests/unit/control/control_fixtures.h"

namespace netsteer::testing {
namespace {

const wchar_t kWifiDefault[] =
    L"          0.0.0.0          0.0.0.0         10.0.0.1        10.0.0.50     50";
const wchar_t kRealGatewayViaTunnel[] =
    L"          0.0.0.0          0.0.0.0        10.0.85.1        10.0.85.2      3";
const wchar_t kNotQuiteDefaultViaOffice[] =
    L"          0.0.0.0        128.0.0.0       172.20.4.1      172.20.4.61     25";
const wchar_t kOnLinkDefaultOnOffice[] =
    L"          0.0.0.0          0.0.0.0         On-link       172.20.4.61     25";
const wchar_t kUnusableGatewayDefault[] =
    L"          0.0.0.0          0.0.0.0     172.20.4.1x      172.20.4.61     25";

TEST(IsSavedGatewayOnAnotherNetwork, DecidesByTheDefaultRoutesOfTheTable) {
    struct Case {
        const char* name;
        std::wstring listing;
        bool moved;
    };
    const Case cases[] = {
        // Another network.
        {"moved and restarted: only the new network's default route", kRoutePrintMovedToOffice,
         true},
        {"moved with the tunnel still up", kRoutePrintMovedTunnelUp, true},
        {"moved, the old server route still listed",
         RoutePrintWithRows({kRowBypassViaHome, kRowOfficeDefault}), true},
        {"moved, and a second uplink besides",
         RoutePrintWithRows({kRowOfficeDefault, kWifiDefault}), true},
        // The recorded network is still there.
        {"restarted on the same network", kRoutePrintAfterRestart, false},
        {"saved gateway among others", kRoutePrintBeforeStart, false},
        {"saved gateway listed after another",
         RoutePrintWithRows({kRowOfficeDefault, kRowHomeDefault}), false},
        // No live default route: the routed table as `start` left it.
        {"routed: only on-link default routes", kRoutePrintTunnelUp, false},
        {"a real gateway only through the tunnel interface",
         RoutePrintWithRows({kRowTunnelDefault, kRealGatewayViaTunnel, kRowLoopback}), false},
        {"a 0.0.0.0/1 route is no default route",
         RoutePrintWithRows({kRowTunnelDefault, kNotQuiteDefaultViaOffice}), false},
        {"an on-link default route on the new network",
         RoutePrintWithRows({kOnLinkDefaultOnOffice}), false},
        {"a gateway that is no plain address", RoutePrintWithRows({kUnusableGatewayDefault}),
         false},
        {"no default route at all", RoutePrintWithRows({kRowLoopback, kRowOfficeSubnet}), false},
        {"a table that cannot be read", L"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsSavedGatewayOnAnotherNetwork(ReadActiveRoutes(c.listing), L"192.168.1.1"),
                  c.moved)
            << c.name;
    }
}

}  // namespace
}  // namespace netsteer::testing
