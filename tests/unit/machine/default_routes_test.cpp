#include "netsteer/machine/default_routes.h"

#include <gtest/gtest.h>

#include <optional>

#include "netsteer/machine/route_command.h"
#include "netsteer/machine/system_commands.h"
#include "machine_test_support.h"

namespace {

using machine_test::kHead;
using machine_test::RecordingHelperSystem;
using machine_test::RunCall;
using machine_test::SeamCall;
using machine_test::SleepCall;
using netsteer::DefaultRoute;
using netsteer::RouteEntry;

struct ExpectedDefault {
    const wchar_t* gateway;
    const wchar_t* interfaceAddress;
    std::int32_t metric;
};

struct ListingCase {
    const char* file;
    std::size_t activeEntries;
    std::vector<ExpectedDefault> defaults;  // every default route, in listing order
    bool selected;
    ExpectedDefault chosen;
    std::vector<const wchar_t*> deletedGateways;  // in the order of the delete commands
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ListingCase& c, std::ostream* out) {
    *out << c.file;
}

class RecordedListingTest : public ::testing::TestWithParam<ListingCase> {};

TEST_P(RecordedListingTest, ReadsSelectsAndDeletesAsRecorded) {
    const ListingCase& c = GetParam();
    RecordingHelperSystem system;
    system.outputs[netsteer::RoutePrintCommand()] = machine_test::ReadDataListing(c.file);
    ASSERT_FALSE(system.outputs[netsteer::RoutePrintCommand()].empty()) << c.file;

    EXPECT_EQ(netsteer::ReadActiveRoutes(system.outputs[netsteer::RoutePrintCommand()]).size(),
              c.activeEntries);

    const std::vector<DefaultRoute> routes = netsteer::GetDefaultRoutes(system);
    ASSERT_EQ(routes.size(), c.defaults.size());
    for (std::size_t i = 0; i < routes.size(); ++i) {
        EXPECT_EQ(routes[i].gateway, c.defaults[i].gateway) << "default " << i;
        EXPECT_EQ(routes[i].interfaceAddress, c.defaults[i].interfaceAddress) << "default " << i;
        EXPECT_EQ(routes[i].metric, c.defaults[i].metric) << "default " << i;
    }

    const std::optional<DefaultRoute> chosen = netsteer::SelectActiveDefaultRoute(routes);
    ASSERT_EQ(chosen.has_value(), c.selected);
    if (c.selected) {
        EXPECT_EQ(chosen->gateway, c.chosen.gateway);
        EXPECT_EQ(chosen->interfaceAddress, c.chosen.interfaceAddress);
        EXPECT_EQ(chosen->metric, c.chosen.metric);
    }

    system.calls.clear();
    netsteer::DeleteAllDefaultRoutes(system);
    std::vector<SeamCall> expected{RunCall(netsteer::RoutePrintCommand())};
    for (const wchar_t* gateway : c.deletedGateways) {
        expected.push_back(RunCall(netsteer::RouteCommand(netsteer::DeleteDefaultRoute(gateway))));
        expected.push_back(SleepCall(netsteer::kRouteCommandPauseMs));
    }
    expected.push_back(SleepCall(netsteer::kDeleteDefaultsPauseMs));
    EXPECT_EQ(system.calls, expected);
}

INSTANTIATE_TEST_SUITE_P(
    RecordedListings, RecordedListingTest,
    ::testing::Values(ListingCase{"route_print/one_default.txt",
                                  11,
                                  {{L"192.168.1.1", L"192.168.1.20", 25}},
                                  true,
                                  {L"192.168.1.1", L"192.168.1.20", 25},
                                  {L"192.168.1.1"}},
                      // The lower metric wins although it is listed second.
                      ListingCase{
                          "route_print/two_defaults.txt",
                          17,
                          {{L"192.168.1.1", L"192.168.1.34", 35}, {L"10.0.0.1", L"10.0.0.57", 25}},
                          true,
                          {L"10.0.0.1", L"10.0.0.57", 25},
                          {L"192.168.1.1", L"10.0.0.1"}},
                      // The tunnel's On-link default is collected but neither chosen nor
                      // deleted; the two real ones are deleted in listing order.
                      ListingCase{"route_print/tunnel_onlink.txt",
                                  23,
                                  {{L"192.168.1.1", L"192.168.1.34", 35},
                                   {L"On-link", L"10.0.85.2", 5},
                                   {L"10.0.0.1", L"10.0.0.57", 25}},
                                  true,
                                  {L"10.0.0.1", L"10.0.0.57", 25},
                                  {L"192.168.1.1", L"10.0.0.1"}},
                      ListingCase{"route_print/tunnel_onlink_only.txt",
                                  17,
                                  {{L"On-link", L"10.0.85.2", 5}},
                                  false,
                                  {L"", L"", 0},
                                  {}},
                      // The persistent table (one default not active now) is never read.
                      ListingCase{"route_print/persistent.txt",
                                  12,
                                  {{L"192.168.1.1", L"192.168.1.20", 25}},
                                  true,
                                  {L"192.168.1.1", L"192.168.1.20", 25},
                                  {L"192.168.1.1"}},
                      // Without the English headings, the rows are read by their shape.
                      ListingCase{"route_print/german_cp850.txt",
                                  11,
                                  {{L"192.168.1.1", L"192.168.1.20", 25}},
                                  true,
                                  {L"192.168.1.1", L"192.168.1.20", 25},
                                  {L"192.168.1.1"}}),
    [](const ::testing::TestParamInfo<ListingCase>& param) {
        std::string name = param.param.file;
        name = name.substr(name.find('/') + 1);
        name = name.substr(0, name.find('.'));
        return name;
    });

TEST(GetDefaultRoutesTest, DefaultNeedsBothFieldsExactly) {
    RecordingHelperSystem system;
    system.outputs[netsteer::RoutePrintCommand()] =
        std::wstring(kHead) +
        L"0.0.0.0 128.0.0.0 10.0.0.1 10.0.0.2 5\r\n"  // a split route, not a default
        L"128.0.0.0 128.0.0.0 10.0.0.1 10.0.0.2 5\r\n"
        L"0.0.0.00 0.0.0.0 10.0.0.1 10.0.0.2 5\r\n"
        L"0.0.0.0 0.0.0.0 0.0.0.0 10.0.0.2 5\r\n";
    const std::vector<DefaultRoute> routes = netsteer::GetDefaultRoutes(system);
    ASSERT_EQ(routes.size(), 1u);
    EXPECT_EQ(routes[0].gateway, L"0.0.0.0");
    EXPECT_EQ(system.calls, std::vector<SeamCall>{RunCall(netsteer::RoutePrintCommand())});
}

TEST(GetDefaultRoutesTest, NoOutputGivesNone) {
    RecordingHelperSystem system;
    EXPECT_TRUE(netsteer::GetDefaultRoutes(system).empty());
    EXPECT_FALSE(netsteer::SelectActiveDefaultRoute(netsteer::GetDefaultRoutes(system)));
}

struct SelectCase {
    const char* name;
    std::vector<DefaultRoute> routes;
    bool found;
    std::size_t chosenIndex;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SelectCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<SelectCase> SelectCases() {
    auto route = [](const wchar_t* gateway, std::int32_t metric) {
        return DefaultRoute{gateway, L"192.168.7.2", metric};
    };
    auto via = [](const wchar_t* gateway, const wchar_t* interfaceAddress, std::int32_t metric) {
        return DefaultRoute{gateway, interfaceAddress, metric};
    };
    return {
        {"Empty", {}, false, 0},
        {"LowerMetricWinsWhereverListed", {route(L"1.1.1.1", 35), route(L"2.2.2.2", 25)}, true, 1},
        {"FirstWinsATie", {route(L"1.1.1.1", 25), route(L"2.2.2.2", 25)}, true, 0},
        {"OnLinkAndZeroGatewayNeverChosen",
         {route(L"On-link", 1), route(L"0.0.0.0", 1), route(L"3.3.3.3", 50)},
         true,
         2},
        {"OnlyOnLink", {route(L"On-link", 5)}, false, 0},
        {"GatewayMatchIsExact", {route(L"on-link", 9), route(L"4.4.4.4", 3)}, true, 1},
        {"MaximumMetricNeverChosen", {route(L"1.1.1.1", 2147483647)}, false, 0},
        {"NegativeMetricWins", {route(L"1.1.1.1", 0), route(L"2.2.2.2", -5)}, true, 1},
        // Both texts go into command lines: anything but a plain address is
        // passed over, however low its metric.
        {"GatewayWithShellTextSkipped", {route(L"1.1.1.1&calc", 1), route(L"2.2.2.2", 9)}, true, 1},
        {"GatewayWithLeadingZeroSkipped", {route(L"010.0.0.1", 1), route(L"2.2.2.2", 9)}, true, 1},
        {"InterfaceWithQuoteSkipped",
         {via(L"1.1.1.1", L"1.1.1.2'}; calc; {'", 1), via(L"2.2.2.2", L"2.2.2.3", 9)},
         true,
         1},
        {"InterfaceNotAnAddressSkipped",
         {via(L"1.1.1.1", L"fe80::1", 1), via(L"2.2.2.2", L"2.2.2.3", 9)},
         true,
         1},
        {"OnlyUnplainRoutes", {via(L"1.1.1.1", L"1.1.1.256", 1), route(L"1.1.1", 2)}, false, 0},
    };
}

class SelectTest : public ::testing::TestWithParam<SelectCase> {};

TEST_P(SelectTest, ChoosesTheRouteInUse) {
    const SelectCase& c = GetParam();
    const std::optional<DefaultRoute> chosen = netsteer::SelectActiveDefaultRoute(c.routes);
    ASSERT_EQ(chosen.has_value(), c.found);
    if (c.found) {
        EXPECT_EQ(chosen->gateway, c.routes[c.chosenIndex].gateway);
        EXPECT_EQ(chosen->interfaceAddress, c.routes[c.chosenIndex].interfaceAddress);
        EXPECT_EQ(chosen->metric, c.routes[c.chosenIndex].metric);
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, SelectTest, ::testing::ValuesIn(SelectCases()),
                         [](const ::testing::TestParamInfo<SelectCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
