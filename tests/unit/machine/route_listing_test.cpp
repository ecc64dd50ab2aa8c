#include "netsteer/machine/route_listing.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "machine_test_support.h"

namespace {

using machine_test::kHead;
using netsteer::RouteEntry;

TEST(RecordedListingTest, GermanListingKeepsItsAsciiAndMarksItsUmlaut) {
    // The console code page byte of the umlaut is not UTF-8: it becomes
    // U+FFFD, while the ASCII around it stays.
    const std::wstring listing = machine_test::ReadDataListing("route_print/german_cp850.txt");
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
        netsteer::ReadActiveRoutes(machine_test::ReadDataListing("route_print/one_default.txt"));
    ASSERT_EQ(english.size(), 11u);
    const std::wstring listing = machine_test::ReadDataListing(GetParam());
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

}  // namespace
