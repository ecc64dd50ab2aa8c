#include "netsteer/probes/route_table.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "netsteer/probes/system_commands.h"
#include "probes_test_support.h"

namespace {

using netsteer::DefaultRoute;
using netsteer::RouteEntry;
using probes_test::RecordingHelperSystem;
using probes_test::RunCall;
using probes_test::SeamCall;
using probes_test::SleepCall;

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
    system.outputs[netsteer::RoutePrintCommand()] = probes_test::ReadDataListing(c.file);
    ASSERT_FALSE(system.outputs[netsteer::RoutePrintCommand()].empty()) << c.file;

    EXPECT_EQ(netsteer::ReadActiveRoutes(system.outputs[netsteer::RoutePrintCommand()]).size(),
              c.activeEntries);

    std::vector<DefaultRoute> routes;
    EXPECT_EQ(netsteer::GetDefaultRoutes(system, routes), !c.defaults.empty());
    ASSERT_EQ(routes.size(), c.defaults.size());
    for (std::size_t i = 0; i < routes.size(); ++i) {
        EXPECT_EQ(routes[i].gateway, c.defaults[i].gateway) << "default " << i;
        EXPECT_EQ(routes[i].interfaceAddress, c.defaults[i].interfaceAddress) << "default " << i;
        EXPECT_EQ(routes[i].metric, c.defaults[i].metric) << "default " << i;
        EXPECT_TRUE(routes[i].found) << "default " << i;
    }

    const DefaultRoute chosen = netsteer::SelectActiveDefaultRoute(routes);
    EXPECT_EQ(chosen.found, c.selected);
    if (c.selected) {
        EXPECT_EQ(chosen.gateway, c.chosen.gateway);
        EXPECT_EQ(chosen.interfaceAddress, c.chosen.interfaceAddress);
        EXPECT_EQ(chosen.metric, c.chosen.metric);
    }

    system.calls.clear();
    netsteer::DeleteAllDefaultRoutes(system);
    std::vector<SeamCall> expected{RunCall(netsteer::RoutePrintCommand())};
    for (const wchar_t* gateway : c.deletedGateways) {
        expected.push_back(RunCall(netsteer::DeleteDefaultRouteCommand(gateway)));
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

TEST(RecordedListingTest, GermanListingKeepsItsAsciiAndMarksItsUmlaut) {
    // The console code page byte of the umlaut is not UTF-8: it becomes
    // U+FFFD, while the ASCII around it stays.
    const std::wstring listing = probes_test::ReadDataListing("route_print/german_cp850.txt");
    EXPECT_NE(listing.find(L"St\xFFFDndige Routen:\r\n"), std::wstring::npos);
    EXPECT_NE(listing.find(L"Aktive Routen:\r\n"), std::wstring::npos);
}

bool SameEntries(const std::vector<RouteEntry>& a, const std::vector<RouteEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const RouteEntry& x, const RouteEntry& y) {
                          return x.destination == y.destination && x.netmask == y.netmask &&
                                 x.gateway == y.gateway &&
                                 x.interfaceAddress == y.interfaceAddress && x.metric == y.metric;
                      });
}

// The machine of one_default.txt as Windows lists it in other display
// languages, in their console code pages (sources in route_print/SOURCES.md).
// Each persistent table but the Japanese one holds a default route.
class LocalisedListingTest : public ::testing::TestWithParam<const char*> {};

TEST_P(LocalisedListingTest, ReadsTheSameEntriesAsTheEnglishListing) {
    const std::vector<RouteEntry> english =
        netsteer::ReadActiveRoutes(probes_test::ReadDataListing("route_print/one_default.txt"));
    ASSERT_EQ(english.size(), 11u);
    const std::wstring listing = probes_test::ReadDataListing(GetParam());
    ASSERT_NE(listing.find(L"\r\n"), std::wstring::npos);
    EXPECT_TRUE(SameEntries(netsteer::ReadActiveRoutes(listing), english));
}

INSTANTIATE_TEST_SUITE_P(
    Languages, LocalisedListingTest,
    ::testing::Values("route_print/german_cp850.txt", "route_print/russian_cp866.txt",
                      "route_print/chinese_cp936.txt", "route_print/spanish_cp850.txt",
                      "route_print/french_cp850.txt", "route_print/japanese_cp932.txt"),
    [](const ::testing::TestParamInfo<const char*>& param) {
        std::string name = param.param;
        name = name.substr(name.find('/') + 1);
        return name.substr(0, name.find('_'));
    });

// Synthetic listings for the line rules, each a case of its own.
struct LineRuleCase {
    const char* name;
    std::wstring listing;
    std::vector<RouteEntry> expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const LineRuleCase& c, std::ostream* out) {
    *out << c.name;
}

const wchar_t kHead[] = L"IPv4 Route Table\r\nActive Routes:\r\n";

// A listing without the English headings: interface list, title, active
// routes, persistent routes, each after its ruler.
std::wstring Localised(const std::wstring& interfaceRows, const std::wstring& activeRows,
                       const std::wstring& persistentRows = L"") {
    const std::wstring ruler(75, L'=');
    return ruler + L"\r\nListe\r\n" + interfaceRows + L"\r\n" + ruler + L"\r\n\r\nTabelle\r\n" +
           ruler + L"\r\nAktive Routen:\r\n  Ziel  Maske  Gateway  Schnittstelle  Metrik\r\n" +
           activeRows + L"\r\n" + ruler + L"\r\nSt\xFFFDndige Routen:\r\n" + persistentRows +
           L"\r\n" + ruler + L"\r\n";
}

std::vector<LineRuleCase> LineRuleCases() {
    const RouteEntry a{L"0.0.0.0", L"0.0.0.0", L"192.168.1.1", L"192.168.1.20", 25};
    const RouteEntry b{L"127.0.0.0", L"255.0.0.0", L"On-link", L"127.0.0.1", 331};
    const std::wstring lineA =
        L"          0.0.0.0          0.0.0.0      192.168.1.1    192.168.1.20     25";
    const std::wstring lineB =
        L"        127.0.0.0        255.0.0.0         On-link         127.0.0.1    331";
    const std::wstring twoWords =
        L"        127.0.0.0        255.0.0.0  Auf Verbindung         127.0.0.1    331";
    return {
        {"Empty", L"", {}},
        {"NoSection", lineA + L"\r\n" + lineB + L"\r\n", {}},
        {"RoutesBeforeSectionIgnored", lineA + L"\r\n" + kHead + lineB + L"\r\n", {b}},
        {"PersistentEndsTheParse", kHead + lineA + L"\r\nPersistent Routes:\r\n" + lineB, {a}},
        {"PersistentBeforeSectionHasNoEffect",
         L"Persistent Routes:\r\n" + std::wstring(kHead) + lineA + L"\r\n" + lineB,
         {a, b}},
        {"MarkerAnywhereInLine", L"xx Active Routes: yy\r\n" + lineA, {a}},
        {"MarkersAreCaseSensitive", L"active routes:\r\n" + lineA, {}},
        {"FourColumnsSkipped",
         kHead + lineA + L"\r\n   10.0.0.0  255.0.0.0  10.0.0.1  10.0.0.2\r\n" + lineB,
         {a, b}},
        {"MetricNotANumberSkipped",
         kHead + lineA + L"\r\n   10.0.0.0  255.0.0.0  10.0.0.1  10.0.0.2  Default\r\n" + lineB,
         {a, b}},
        {"MetricOutOfRangeSkipped",
         kHead + std::wstring(L"0.0.0.0 0.0.0.0 10.0.0.1 10.0.0.2 2147483648\r\n") + lineB,
         {b}},
        {"MetricAtLimitsRead",
         kHead + std::wstring(L"0.0.0.0 0.0.0.0 1.1.1.1 2.2.2.2 2147483647\r\n"
                              L"0.0.0.0 0.0.0.0 1.1.1.1 2.2.2.2 -2147483648\r\n"),
         {{L"0.0.0.0", L"0.0.0.0", L"1.1.1.1", L"2.2.2.2", 2147483647},
          {L"0.0.0.0", L"0.0.0.0", L"1.1.1.1", L"2.2.2.2", -2147483647 - 1}}},
        {"TextAfterMetricIgnored", kHead + lineA + L"  extra words\r\n", {a}},
        {"MetricWithTrailingLetters",
         kHead + std::wstring(L"0.0.0.0 0.0.0.0 1.1.1.1 2.2.2.2 12abc\r\n"),
         {{L"0.0.0.0", L"0.0.0.0", L"1.1.1.1", L"2.2.2.2", 12}}},
        {"TabsAndNoLineEnds",
         kHead + std::wstring(L"\t0.0.0.0\t0.0.0.0\t1.1.1.1\t2.2.2.2\t7"),
         {{L"0.0.0.0", L"0.0.0.0", L"1.1.1.1", L"2.2.2.2", 7}}},
        {"RulerAndHeadingSkipped",
         kHead + std::wstring(L"=== 1 2 3 4 5\r\nNetwork Destination a b c 5\r\n") + lineA,
         {a}},
        {"BareLineFeeds", L"Active Routes:\n" + lineA + L"\n\n" + lineB + L"\n", {a, b}},
        // Without "Active Routes:": the section after the third ruler, by shape.
        {"ShapeTwoWordOnLink", Localised(L"", lineA + L"\r\n" + twoWords), {a, b}},
        {"ShapeOneWordOnLink",
         Localised(L"", L"127.0.0.0 255.0.0.0 \xFFFD\xFFFD 127.0.0.1 331"),
         {b}},
        {"ShapeRowsOutsideTheSectionIgnored", Localised(lineA, twoWords, lineA), {b}},
        {"ShapeNoThirdRulerNoEntries", L"==========\r\nListe\r\n==========\r\n" + lineA, {}},
        {"ShapeFourColumnsSkipped",
         Localised(L"", L"10.0.0.0 255.0.0.0 10.0.0.1 10.0.0.2\r\n" + lineA),
         {a}},
        {"ShapeMetricWordsSkipped",
         Localised(L"",
                   L"0.0.0.0 0.0.0.0 192.168.1.1 Par d\xFFFD"
                   L"faut\r\n" +
                       lineA),
         {a}},
        {"ShapeTextAfterMetricSkipped", Localised(L"", lineA + L" x\r\n" + twoWords), {b}},
        {"ShapeMixedGatewaySkipped",
         Localised(L"", L"0.0.0.0 0.0.0.0 x 192.168.1.1 192.168.1.20 25\r\n" + twoWords),
         {b}},
        {"ShapeAddressesMustBePlain",
         Localised(L"",
                   L"0.0.0.0 0.0.0.0 192.168.1.1 192.168.001.20 25\r\n"
                   L"0.0.0.0 0.0.0.0 192.168.1.1 192.168.1.20 25x\r\n"
                   L"0.0.0.0 0.0.0.0 192.168.1.1 192.168.1.20 2147483648\r\n" +
                       twoWords),
         {b}},
    };
}

class LineRuleTest : public ::testing::TestWithParam<LineRuleCase> {};

TEST_P(LineRuleTest, ReadsOnlyTheActiveSection) {
    const LineRuleCase& c = GetParam();
    const std::vector<RouteEntry> entries = netsteer::ReadActiveRoutes(c.listing);
    ASSERT_EQ(entries.size(), c.expected.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].destination, c.expected[i].destination) << "entry " << i;
        EXPECT_EQ(entries[i].netmask, c.expected[i].netmask) << "entry " << i;
        EXPECT_EQ(entries[i].gateway, c.expected[i].gateway) << "entry " << i;
        EXPECT_EQ(entries[i].interfaceAddress, c.expected[i].interfaceAddress) << "entry " << i;
        EXPECT_EQ(entries[i].metric, c.expected[i].metric) << "entry " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, LineRuleTest, ::testing::ValuesIn(LineRuleCases()),
                         [](const ::testing::TestParamInfo<LineRuleCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(GetDefaultRoutesTest, DefaultNeedsBothFieldsExactly) {
    RecordingHelperSystem system;
    system.outputs[netsteer::RoutePrintCommand()] =
        std::wstring(kHead) +
        L"0.0.0.0 128.0.0.0 10.0.0.1 10.0.0.2 5\r\n"  // a split route, not a default
        L"128.0.0.0 128.0.0.0 10.0.0.1 10.0.0.2 5\r\n"
        L"0.0.0.00 0.0.0.0 10.0.0.1 10.0.0.2 5\r\n"
        L"0.0.0.0 0.0.0.0 0.0.0.0 10.0.0.2 5\r\n";
    std::vector<DefaultRoute> routes;
    ASSERT_TRUE(netsteer::GetDefaultRoutes(system, routes));
    ASSERT_EQ(routes.size(), 1u);
    EXPECT_EQ(routes[0].gateway, L"0.0.0.0");
    EXPECT_EQ(system.calls, std::vector<SeamCall>{RunCall(netsteer::RoutePrintCommand())});
}

TEST(GetDefaultRoutesTest, NoOutputGivesFalse) {
    RecordingHelperSystem system;
    std::vector<DefaultRoute> routes;
    EXPECT_FALSE(netsteer::GetDefaultRoutes(system, routes));
    EXPECT_TRUE(routes.empty());
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
    auto route = [](const wchar_t* gateway, std::int32_t metric, bool found = true) {
        return DefaultRoute{gateway, L"192.168.7.2", metric, found};
    };
    auto via = [](const wchar_t* gateway, const wchar_t* interfaceAddress, std::int32_t metric) {
        return DefaultRoute{gateway, interfaceAddress, metric, true};
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
        {"NotFoundEntriesSkipped", {route(L"1.1.1.1", 1, false), route(L"2.2.2.2", 9)}, true, 1},
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
    const DefaultRoute chosen = netsteer::SelectActiveDefaultRoute(c.routes);
    ASSERT_EQ(chosen.found, c.found);
    if (c.found) {
        EXPECT_EQ(chosen.gateway, c.routes[c.chosenIndex].gateway);
        EXPECT_EQ(chosen.interfaceAddress, c.routes[c.chosenIndex].interfaceAddress);
        EXPECT_EQ(chosen.metric, c.routes[c.chosenIndex].metric);
    } else {
        EXPECT_TRUE(chosen.gateway.empty());
        EXPECT_TRUE(chosen.interfaceAddress.empty());
        EXPECT_EQ(chosen.metric, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, SelectTest, ::testing::ValuesIn(SelectCases()),
                         [](const ::testing::TestParamInfo<SelectCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(DeleteAllDefaultRoutesTest, SharedGatewayGetsOneCommandPerRouteAndFailuresDoNotStop) {
    RecordingHelperSystem system;
    system.outputs[netsteer::RoutePrintCommand()] =
        std::wstring(kHead) +
        L"0.0.0.0 0.0.0.0 192.168.1.1 192.168.1.20 25\r\n"
        L"0.0.0.0 0.0.0.0 192.168.1.1 192.168.1.21 30\r\n";
    system.outputs[netsteer::DeleteDefaultRouteCommand(L"192.168.1.1")] =
        L"The route deletion failed: Element not found.\r\n\r\n";
    netsteer::DeleteAllDefaultRoutes(system);
    const std::wstring del = netsteer::DeleteDefaultRouteCommand(L"192.168.1.1");
    EXPECT_EQ(system.calls, (std::vector<SeamCall>{RunCall(netsteer::RoutePrintCommand()),
                                                   RunCall(del), SleepCall(300), RunCall(del),
                                                   SleepCall(300), SleepCall(400)}));
}

TEST(DeleteAllDefaultRoutesTest, GatewaysThatAreNotPlainAddressesGetNoCommand) {
    RecordingHelperSystem system;
    system.outputs[netsteer::RoutePrintCommand()] =
        std::wstring(kHead) +
        L"0.0.0.0 0.0.0.0 1.2.3.4&calc 192.168.1.20 25\r\n"
        L"0.0.0.0 0.0.0.0 192.168.1.1 192.168.1.20 30\r\n"
        L"0.0.0.0 0.0.0.0 %COMSPEC% 192.168.1.20 35\r\n"
        L"0.0.0.0 0.0.0.0 192.168.001.1 192.168.1.20 40\r\n"
        L"0.0.0.0 0.0.0.0 10.0.0.1|x 192.168.1.20 45\r\n";
    netsteer::DeleteAllDefaultRoutes(system);
    EXPECT_EQ(system.calls,
              (std::vector<SeamCall>{RunCall(netsteer::RoutePrintCommand()),
                                     RunCall(netsteer::DeleteDefaultRouteCommand(L"192.168.1.1")),
                                     SleepCall(300), SleepCall(400)}));
}

TEST(DeleteAllDefaultRoutesTest, NoOutputStillPausesOnce) {
    RecordingHelperSystem system;
    netsteer::DeleteAllDefaultRoutes(system);
    EXPECT_EQ(system.calls,
              (std::vector<SeamCall>{RunCall(netsteer::RoutePrintCommand()), SleepCall(400)}));
}

}  // namespace
