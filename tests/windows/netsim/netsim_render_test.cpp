#include "tools/netsim/netsim_render.h"

#include <gtest/gtest.h>

#include <optional>

#include "netsteer/machine/route_outcome.h"
#include "netsteer/machine/default_routes.h"
#include "netsteer/machine/tunnel_finder.h"
#include "tools/netsim/netsim_control.h"
#include "tools/netsim/netsim_languages.h"

namespace netsim {
namespace {

Machine Scenario(const wchar_t* name) {
    Machine machine;
    EXPECT_TRUE(MakeScenario(name, machine));
    return machine;
}

TEST(RenderRoutePrint, HomeMachineMatchesTheRealLayoutByteForByte) {
    const std::wstring expected =
        L"===========================================================================\r\n"
        L"Interface List\r\n"
        L" 12...00 15 5d 4a 10 23 ......Intel(R) Ethernet Connection (7) I219-V\r\n"
        L"  1...........................Software Loopback Interface 1\r\n"
        L"===========================================================================\r\n"
        L"\r\n"
        L"IPv4 Route Table\r\n"
        L"===========================================================================\r\n"
        L"Active Routes:\r\n"
        L"Network Destination        Netmask          Gateway       Interface  Metric\r\n"
        L"          0.0.0.0          0.0.0.0      192.168.1.1     192.168.1.23     25\r\n"
        L"        127.0.0.0        255.0.0.0         On-link         127.0.0.1    331\r\n"
        L"        127.0.0.1  255.255.255.255         On-link         127.0.0.1    331\r\n"
        L"  127.255.255.255  255.255.255.255         On-link         127.0.0.1    331\r\n"
        L"      192.168.1.0    255.255.255.0         On-link      192.168.1.23    281\r\n"
        L"     192.168.1.23  255.255.255.255         On-link      192.168.1.23    281\r\n"
        L"    192.168.1.255  255.255.255.255         On-link      192.168.1.23    281\r\n"
        L"        224.0.0.0        240.0.0.0         On-link         127.0.0.1    331\r\n"
        L"        224.0.0.0        240.0.0.0         On-link      192.168.1.23    281\r\n"
        L"  255.255.255.255  255.255.255.255         On-link         127.0.0.1    331\r\n"
        L"  255.255.255.255  255.255.255.255         On-link      192.168.1.23    281\r\n"
        L"===========================================================================\r\n"
        L"Persistent Routes:\r\n"
        L"  None\r\n";
    EXPECT_EQ(RenderRoutePrint(Scenario(L"home")), expected);
}

TEST(RenderRoutePrint, ColumnsEndWhereTheRealToolEndsThem) {
    Machine machine = Scenario(L"two-uplinks");
    AddInterface(machine, TunnelAdapter());
    machine.routes.push_back(Route{L"0.0.0.0", L"0.0.0.0", kOnLink, 45, 1, false});
    const std::wstring listing = RenderRoutePrint(machine);
    int rows = 0;
    std::size_t start = listing.find(L"Metric\r\n");
    ASSERT_NE(start, std::wstring::npos);
    start += 8;
    for (std::size_t end = listing.find(L"\r\n", start); listing.compare(start, 3, L"===") != 0;
         start = end + 2, end = listing.find(L"\r\n", start)) {
        const std::wstring row = listing.substr(start, end - start);
        SCOPED_TRACE(row);
        ASSERT_EQ(row.size(), 75u);
        // Each column's last character, and the blank after it.
        const bool onLink = row.find(L"On-link") != std::wstring::npos;
        for (std::size_t edge : {17u, 34u, onLink ? 50u : 51u, 68u, 75u}) {
            EXPECT_NE(row[edge - 1], L' ') << "column ending at " << edge;
            if (edge < 75u) {
                EXPECT_EQ(row[edge], L' ') << "after column ending at " << edge;
            }
        }
        ++rows;
    }
    EXPECT_EQ(rows, 23);
}

TEST(RenderRoutePrint, EffectiveMetricAddsTheInterfaceMetric) {
    Machine machine = Scenario(L"home");
    machine.routes.push_back(
        Route{L"203.0.113.7", L"255.255.255.255", L"192.168.1.1", 12, 1, false});
    const std::wstring listing = RenderRoutePrint(machine);
    EXPECT_NE(listing.find(L"      203.0.113.7  255.255.255.255      192.168.1.1     192.168.1.23"
                           L"     26\r\n"),
              std::wstring::npos);
}

TEST(RenderRoutePrint, GermanHeadingsAndPersistentTable) {
    Machine machine = Scenario(L"home");
    machine.language = L"de";
    machine.routes.push_back(Route{L"10.20.0.0", L"255.255.0.0", L"192.168.1.1", 12, 0, true});
    machine.routes.push_back(Route{L"10.30.0.0", L"255.255.0.0", L"192.168.1.1", 12, 7, true});
    const std::wstring listing = RenderRoutePrint(machine);
    for (const wchar_t* text :
         {L"\r\nSchnittstellenliste\r\n", L"\r\nIPv4-Routentabelle\r\n", L"\r\nAktive Routen:\r\n",
          L"  Auf Verbindung ", L"\r\nSt\u00E4ndige Routen:\r\n",
          L"\r\n  Netzwerkadresse          Netzmaske  Gatewayadresse  Metrik\r\n",
          L"\r\n        10.20.0.0      255.255.0.0      192.168.1.1  Standard \r\n",
          L"\r\n        10.30.0.0      255.255.0.0      192.168.1.1       7\r\n"}) {
        EXPECT_NE(listing.find(text), std::wstring::npos) << "missing: " << text;
    }
    for (const wchar_t* text : {L"Active Routes:", L"On-link", L"Persistent Routes:", L"None"}) {
        EXPECT_EQ(listing.find(text), std::wstring::npos) << "left in English: " << text;
    }
}

TEST(RenderRoutePrint, EnglishPersistentTableHeading) {
    Machine machine = Scenario(L"home");
    machine.routes.push_back(Route{L"10.20.0.0", L"255.255.0.0", L"192.168.1.1", 12, 0, true});
    const std::wstring listing = RenderRoutePrint(machine);
    EXPECT_NE(
        listing.find(
            L"Persistent Routes:\r\n"
            L"  Network Address          Netmask  Gateway Address  Metric\r\n"
            L"        10.20.0.0      255.255.0.0      192.168.1.1  Default \r\n"
            L"===========================================================================\r\n"),
        std::wstring::npos);
    EXPECT_EQ(listing.find(L"  None"), std::wstring::npos);
    EXPECT_EQ(listing.size() - listing.rfind(L"Default \r\n"), 87u) << "ends with the ruler";
}

TEST(RenderInterfaceTable, MatchesTheRealLayoutByteForByte) {
    Machine machine = Scenario(L"two-uplinks");
    AddInterface(machine, TunnelAdapter());
    machine.interfaces[1].connected = false;
    const std::wstring expected =
        L"\r\n"
        L"Idx     Met         MTU          State                Name\r\n"
        L"---  ----------  ----------  ------------  ---------------------------\r\n"
        L"  1          75  4294967295  connected     Loopback Pseudo-Interface 1\r\n"
        L" 12          25        1500  disconnected  Ethernet\r\n"
        L" 17          35        1500  connected     Wi-Fi\r\n"
        L" 45           5        1420  connected     velk_vpn0\r\n"
        L"\r\n";
    EXPECT_EQ(RenderInterfaceTable(machine), expected);
}

// The route helper's own readers must understand what the simulator prints.
TEST(SimulatorAndHelperReaders, HelperReadsTheSimulatedListings) {
    Machine machine = Scenario(L"two-uplinks");
    const std::vector<netsteer::RouteEntry> routes =
        netsteer::ReadActiveRoutes(RenderRoutePrint(machine));
    ASSERT_EQ(routes.size(), 17u);
    EXPECT_EQ(routes[0].destination, L"0.0.0.0");
    EXPECT_EQ(routes[0].gateway, L"192.168.1.1");
    EXPECT_EQ(routes[0].interfaceAddress, L"192.168.1.23");
    EXPECT_EQ(routes[0].metric, 25);
    EXPECT_EQ(routes[1].gateway, L"192.168.50.254");
    EXPECT_EQ(routes[1].metric, 35);
    EXPECT_EQ(routes[2].gateway, L"On-link");

    EXPECT_FALSE(netsteer::ParseTunnelIndex(RenderInterfaceTable(machine)));
    AddInterface(machine, TunnelAdapter());
    const std::optional<netsteer::TunnelMatch> match =
        netsteer::ParseTunnelIndex(RenderInterfaceTable(machine));
    ASSERT_TRUE(match);
    EXPECT_EQ(match->index, 45);
}

// In every language the helper reads the same routes and finds the same
// tunnel as in English, and the route tool's answers are judged alike.
class LocalisedSimulator : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(LocalisedSimulator, HelperReadsItAsInEnglish) {
    Machine machine = Scenario(L"two-uplinks");
    AddInterface(machine, TunnelAdapter());
    machine.routes.push_back(Route{L"10.20.0.0", L"255.255.0.0", L"192.168.1.1", 12, 0, true});
    const std::vector<netsteer::RouteEntry> english =
        netsteer::ReadActiveRoutes(RenderRoutePrint(machine));
    machine.language = GetParam();
    const Language& language = LanguageOf(machine);
    ASSERT_EQ(std::wstring(language.code), GetParam());

    const std::wstring listing = RenderRoutePrint(machine);
    EXPECT_NE(listing.find(std::wstring(L"\r\n") + language.activeRoutes + L"\r\n"),
              std::wstring::npos);
    const std::vector<netsteer::RouteEntry> read = netsteer::ReadActiveRoutes(listing);
    ASSERT_EQ(read.size(), english.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].destination, english[i].destination) << i;
        EXPECT_EQ(read[i].netmask, english[i].netmask) << i;
        EXPECT_EQ(read[i].gateway, english[i].gateway) << i;
        EXPECT_EQ(read[i].interfaceAddress, english[i].interfaceAddress) << i;
        EXPECT_EQ(read[i].metric, english[i].metric) << i;
    }

    const std::wstring interfaces = RenderInterfaceTable(machine);
    EXPECT_NE(interfaces.find(language.interfaceHeading), std::wstring::npos);
    const std::optional<netsteer::TunnelMatch> tunnel = netsteer::ParseTunnelIndex(interfaces);
    ASSERT_TRUE(tunnel);
    EXPECT_EQ(tunnel->index, 45);

    for (int m = 0; m < static_cast<int>(RouteMessage::Count); ++m) {
        EXPECT_NE(netsteer::JudgeRouteOutput(MessageIn(language, static_cast<RouteMessage>(m))),
                  netsteer::RouteOutputVerdict::kDone)
            << m;
    }
    EXPECT_NE(netsteer::JudgeRouteOutput(language.routeDone),
              netsteer::RouteOutputVerdict::kRefused);
}

INSTANTIATE_TEST_SUITE_P(Languages, LocalisedSimulator,
                         ::testing::Values(L"en", L"de", L"ru", L"zh", L"es", L"fr"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& param) {
                             return std::string(param.param, param.param + 2);
                         });

}  // namespace
}  // namespace netsim
