#include <gtest/gtest.h>

#include <sstream>

#include "tools/netsim/netsim_control.h"
#include "tools/netsim/netsim_tools.h"

namespace netsim {
namespace {

constexpr wchar_t kOk[] = L" OK!\r\n";
constexpr wchar_t kExists[] = L"The route addition failed: The object already exists.\r\n\r\n";
constexpr wchar_t kNotFound[] = L"The route deletion failed: Element not found.\r\n\r\n";
constexpr wchar_t kInterface[] =
    L"The route addition failed: Either the interface index is wrong or the gateway does not lie "
    L"on the same network as the interface. Check the IP Address Table for the machine.\r\n\r\n";
constexpr wchar_t kMask[] =
    L"The route addition failed: The specified mask parameter is invalid. (Destination & Mask) "
    L"!= Destination.\r\n\r\n";
constexpr wchar_t kParameter[] = L"The route addition failed: The parameter is incorrect.\r\n\r\n";
constexpr wchar_t kUsage[] = L"<usage>";

std::vector<std::wstring> Words(const std::wstring& line) {
    std::wistringstream in(line);
    std::vector<std::wstring> words;
    std::wstring word;
    while (in >> word) {
        words.push_back(word);
    }
    return words;
}

// The routes other than the on-link ones Windows makes for the addresses,
// as "destination/mask gateway if metric" in table order.
std::vector<std::wstring> ChosenRoutes(const Machine& machine) {
    std::vector<std::wstring> chosen;
    for (const Route& r : machine.routes) {
        if (r.metric != kOnLinkRouteMetric) {
            chosen.push_back(r.destination + L"/" + r.mask + L" " + r.gateway + L" if " +
                             std::to_wstring(r.interfaceIndex) + L" metric " +
                             std::to_wstring(r.metric));
        }
    }
    return chosen;
}

struct RouteCase {
    const wchar_t* name;
    std::vector<const wchar_t*> before;  // commands that must succeed first
    const wchar_t* command;
    const wchar_t* output;  // kUsage: the usage text on standard error, nothing on output
    std::vector<std::wstring> routesAfter;
};

const std::wstring kHomeDefault = L"0.0.0.0/0.0.0.0 192.168.1.1 if 12 metric 0";
const std::wstring kBypass = L"203.0.113.7/255.255.255.255 192.168.1.1 if 12 metric 1";
const std::wstring kTunnelDefault = L"0.0.0.0/0.0.0.0 On-link if 45 metric 1";
const wchar_t kAddBypass[] = L"add 203.0.113.7 mask 255.255.255.255 192.168.1.1 if 12 metric 1";
const wchar_t kAddTunnel[] = L"add 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45 metric 1";

const RouteCase kRouteCases[] = {
    {L"bypass route added", {}, kAddBypass, kOk, {kHomeDefault, kBypass}},
    {L"same route twice", {kAddBypass}, kAddBypass, kExists, {kHomeDefault, kBypass}},
    {L"same route, other metric",
     {kAddBypass},
     L"add 203.0.113.7 mask 255.255.255.255 192.168.1.1 if 12 metric 5",
     kExists,
     {kHomeDefault, kBypass}},
    {L"keywords in capitals",
     {},
     L"ADD 203.0.113.7 MASK 255.255.255.255 192.168.1.1 IF 12 METRIC 1",
     kOk,
     {kHomeDefault, kBypass}},
    {L"tunnel default route on-link", {}, kAddTunnel, kOk, {kHomeDefault, kTunnelDefault}},
    {L"gateway off the interface's network",
     {},
     L"add 203.0.113.7 mask 255.255.255.255 10.8.0.1 if 12 metric 1",
     kInterface,
     {kHomeDefault}},
    {L"no such interface",
     {},
     L"add 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 99 metric 1",
     kInterface,
     {kHomeDefault}},
    {L"interface found from the gateway",
     {},
     L"add 198.51.100.0 mask 255.255.255.0 192.168.1.1",
     kOk,
     {kHomeDefault, L"198.51.100.0/255.255.255.0 192.168.1.1 if 12 metric 0"}},
    {L"mask wider than the destination",
     {},
     L"add 198.51.100.7 mask 255.255.255.0 192.168.1.1 if 12",
     kMask,
     {kHomeDefault}},
    {L"metric zero",
     {},
     L"add 198.51.100.0 mask 255.255.255.0 192.168.1.1 metric 0",
     kParameter,
     {kHomeDefault}},
    {L"on-link without an interface",
     {},
     L"add 198.51.100.0 mask 255.255.255.0 0.0.0.0",
     kParameter,
     {kHomeDefault}},
    {L"add without gateway", {}, L"add 203.0.113.7 mask 255.255.255.255", kUsage, {kHomeDefault}},
    {L"add with a keyword missing its value",
     {},
     L"add 203.0.113.7 192.168.1.1 metric",
     kUsage,
     {kHomeDefault}},
    {L"bad address", {}, L"add 203.0.113.300 192.168.1.1", kUsage, {kHomeDefault}},
    {L"no command", {}, L"", kUsage, {kHomeDefault}},
    {L"unknown command", {}, L"flush", kUsage, {kHomeDefault}},
    {L"delete by destination", {kAddBypass}, L"delete 203.0.113.7", kOk, {kHomeDefault}},
    {L"delete a missing host route", {}, L"delete 203.0.113.7", kNotFound, {kHomeDefault}},
    {L"delete the default route by gateway",
     {kAddTunnel},
     L"delete 0.0.0.0 mask 0.0.0.0 192.168.1.1",
     kOk,
     {kTunnelDefault}},
    {L"delete by a gateway that has no route",
     {},
     L"delete 0.0.0.0 mask 0.0.0.0 192.168.1.254",
     kNotFound,
     {kHomeDefault}},
    {L"delete the tunnel default route",
     {kAddTunnel},
     L"delete 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45",
     kOk,
     {kHomeDefault}},
    {L"tunnel default route on another interface",
     {kAddTunnel},
     L"delete 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 12",
     kNotFound,
     {kHomeDefault, kTunnelDefault}},
    {L"restore after the defaults went",
     {L"delete 0.0.0.0 mask 0.0.0.0 192.168.1.1"},
     L"add 0.0.0.0 mask 0.0.0.0 192.168.1.1 if 12 metric 25",
     kOk,
     {L"0.0.0.0/0.0.0.0 192.168.1.1 if 12 metric 25"}},
    {L"change the metric",
     {},
     L"change 0.0.0.0 mask 0.0.0.0 192.168.1.1 metric 40",
     kOk,
     {L"0.0.0.0/0.0.0.0 192.168.1.1 if 12 metric 40"}},
};

TEST(RunRoute, CommandsChangeTheTableAndPrintTheRealMessages) {
    for (const RouteCase& c : kRouteCases) {
        SCOPED_TRACE(c.name);
        Machine machine;
        ASSERT_TRUE(MakeScenario(L"home", machine));
        machine.interfaces.push_back(TunnelAdapter());
        for (const wchar_t* command : c.before) {
            ASSERT_EQ(RunRoute(machine, Words(command)).out, kOk) << command;
        }
        const ToolResult result = RunRoute(machine, Words(c.command));
        if (std::wstring(c.output) == kUsage) {
            EXPECT_EQ(result.out, L"");
            EXPECT_NE(result.err.find(L"ROUTE [-f] [-p] [-4|-6] command"), std::wstring::npos);
            EXPECT_NE(result.exitCode, 0);
        } else {
            EXPECT_EQ(result.out, c.output);
            EXPECT_EQ(result.err, L"");
            EXPECT_EQ(result.exitCode == 0, std::wstring(c.output) == kOk);
        }
        EXPECT_EQ(ChosenRoutes(machine), c.routesAfter);
    }
}

TEST(RunRoute, PersistentFlagMarksTheRoute) {
    Machine machine;
    ASSERT_TRUE(MakeScenario(L"home", machine));
    EXPECT_EQ(RunRoute(machine, Words(L"-p add 10.20.0.0 mask 255.255.0.0 192.168.1.1")).out, kOk);
    ASSERT_EQ(machine.routes.back().destination, L"10.20.0.0");
    EXPECT_TRUE(machine.routes.back().persistent);
}

TEST(RunRoute, GermanMessagesLackTheEnglishPhrases) {
    Machine machine;
    ASSERT_TRUE(MakeScenario(L"home", machine));
    machine.language = L"de";
    const std::wstring deleted = RunRoute(machine, Words(L"delete 203.0.113.7")).out;
    EXPECT_EQ(deleted, L"Fehler beim L\u00F6schen der Route: Element nicht gefunden.\r\n\r\n");
    EXPECT_EQ(RunRoute(machine, Words(L"add 0.0.0.0 mask 0.0.0.0 192.168.1.1 if 12")).out,
              L"Fehler beim Hinzuf\u00FCgen der Route: Das Objekt ist bereits vorhanden.\r\n\r\n");
    EXPECT_EQ(RunRoute(machine, Words(L"delete 0.0.0.0")).out, kOk);
}

}  // namespace
}  // namespace netsim
