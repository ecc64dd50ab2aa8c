#include "netsteer/machine/route_command.h"

#include <gtest/gtest.h>

#include "netsteer/machine/route_outcome.h"
#include "netsteer/machine/system_commands.h"
#include "machine_test_support.h"

namespace {

using machine_test::kHead;
using machine_test::RecordingHelperSystem;
using machine_test::RunCall;
using machine_test::SeamCall;
using machine_test::SleepCall;

using netsteer::RouteOutputVerdict;

struct OutcomeCase {
    const char* name;
    std::wstring output;
    bool success;  // by the English phrases alone
    RouteOutputVerdict verdict;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const OutcomeCase& c, std::ostream* out) {
    *out << c.name;
}

class RouteOutcomeTest : public ::testing::TestWithParam<OutcomeCase> {};

// Judged alone, and through RunRouteCommand, which must pause 300 ms after
// the command whatever the outcome. Output that tells nothing sends it to the
// route table, which here cannot be read, so that counts as a failure.
TEST_P(RouteOutcomeTest, JudgesTheOutputAndAlwaysPausesAfterTheCommand) {
    const OutcomeCase& c = GetParam();
    EXPECT_EQ(netsteer::RouteOutputMeansSuccess(c.output), c.success);
    EXPECT_EQ(netsteer::JudgeRouteOutput(c.output), c.verdict);

    RecordingHelperSystem system;
    const std::wstring command = L"route delete 0.0.0.0 mask 0.0.0.0 192.168.1.1";
    system.outputs[command] = c.output;
    EXPECT_EQ(netsteer::RunRouteCommand(system, command), c.verdict == RouteOutputVerdict::kDone);
    std::vector<SeamCall> expected{RunCall(command), SleepCall(netsteer::kRouteCommandPauseMs)};
    if (c.verdict == RouteOutputVerdict::kUnknown) {
        expected.push_back(RunCall(netsteer::RoutePrintCommand()));
    }
    EXPECT_EQ(system.calls, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, RouteOutcomeTest,
    ::testing::Values(
        OutcomeCase{"Empty", L"", true, RouteOutputVerdict::kDone},
        OutcomeCase{"Ok", L" OK!\r\n", true, RouteOutputVerdict::kDone},
        OutcomeCase{"AdditionFailed",
                    L"The route addition failed: The object already exists.\r\n\r\n", false,
                    RouteOutputVerdict::kRefused},
        OutcomeCase{"AdditionFailedUpperCase", L"THE ROUTE ADDITION FAILED: 87\r\n", false,
                    RouteOutputVerdict::kRefused},
        OutcomeCase{"DeletionFailed", L"The route deletion failed: Element not found.\r\n\r\n",
                    false, RouteOutputVerdict::kRefused},
        OutcomeCase{"ElementNotFoundAlone", L"Element not found.\r\n", false,
                    RouteOutputVerdict::kRefused},
        OutcomeCase{"PhraseAfterOtherLines", L" OK!\r\nsomething\r\nthe route addition failed",
                    false, RouteOutputVerdict::kRefused},
        OutcomeCase{"PhraseBrokenByLineBreak", L"Element not\r\nfound\r\n", true,
                    RouteOutputVerdict::kUnknown},
        OutcomeCase{"ElevationIsNotAFailurePhrase",
                    L"The requested operation requires elevation.\r\n", true,
                    RouteOutputVerdict::kUnknown},
        // Chinese (Simplified) Windows confirms a change in its own words.
        OutcomeCase{"LocalisedConfirmation", L" \u64CD\u4F5C\u5B8C\u6210!\r\n", true,
                    RouteOutputVerdict::kUnknown},
        OutcomeCase{"LocalisedFailureUnrecognised",
                    L"Fehler beim Hinzuf\xFFFDgen der Route: Das Objekt ist bereits vorhanden.\r\n",
                    true, RouteOutputVerdict::kUnknown},
        OutcomeCase{"NulInsideOutputDoesNotHidePhrase",
                    std::wstring(L"x") + L'\0' + L"y the route deletion failed", false,
                    RouteOutputVerdict::kRefused}),
    [](const ::testing::TestParamInfo<OutcomeCase>& param) {
        return std::string(param.param.name);
    });

// The route table after the command, in German ("Auf Verbindung" for routes
// without a next hop): the bypass route to 203.0.113.7 and the tunnel's
// default route are there; the old default via 192.168.1.1 is gone.
const wchar_t kTableAfter[] =
    L"===========================================================================\r\n"
    L"Schnittstellenliste\r\n"
    L" 12...00 15 5d 01 6a 0b ......Intel(R) Ethernet Connection\r\n"
    L" 45...........................velk_vpn0\r\n"
    L"===========================================================================\r\n"
    L"\r\n"
    L"IPv4-Routentabelle\r\n"
    L"===========================================================================\r\n"
    L"Aktive Routen:\r\n"
    L"     Netzwerkziel    Netzwerkmaske          Gateway    Schnittstelle Metrik\r\n"
    L"          0.0.0.0          0.0.0.0  Auf Verbindung        10.0.85.2      6\r\n"
    L"      203.0.113.7  255.255.255.255      192.168.1.1     192.168.1.20     26\r\n"
    L"===========================================================================\r\n"
    L"St\xFFFDndige Routen:\r\n"
    L"  Keine\r\n";

struct TableCase {
    const char* name;
    std::wstring command;
    std::wstring listing;
    bool done;
};

void PrintTo(const TableCase& c, std::ostream* out) {
    *out << c.name;
}

class RouteTableOutcomeTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(RouteTableOutcomeTest, TheTableShowsWhetherTheChangeIsThere) {
    const TableCase& c = GetParam();
    EXPECT_EQ(netsteer::RouteTableShowsCommandDone(c.command, c.listing), c.done);

    // Through RunRouteCommand with a refusal in words no rule knows.
    RecordingHelperSystem system;
    system.outputs[c.command] = L"Fehler beim Hinzuf\xFFFDgen der Route: 87\r\n\r\n";
    system.outputs[netsteer::RoutePrintCommand()] = c.listing;
    EXPECT_EQ(netsteer::RunRouteCommand(system, c.command), c.done);
    EXPECT_EQ(system.calls,
              (std::vector<SeamCall>{RunCall(c.command), SleepCall(netsteer::kRouteCommandPauseMs),
                                     RunCall(netsteer::RoutePrintCommand())}));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RouteTableOutcomeTest,
    ::testing::Values(
        TableCase{"BypassAdded",
                  netsteer::AddServerBypassRouteCommand(L"203.0.113.7", L"192.168.1.1", 12),
                  kTableAfter, true},
        TableCase{"BypassViaOtherGatewayIsNotIt",
                  netsteer::AddServerBypassRouteCommand(L"203.0.113.7", L"10.0.0.1", 12),
                  kTableAfter, false},
        TableCase{"BypassToOtherServerMissing",
                  netsteer::AddServerBypassRouteCommand(L"203.0.113.8", L"192.168.1.1", 12),
                  kTableAfter, false},
        TableCase{"TunnelDefaultAdded", netsteer::AddTunnelDefaultRouteCommand(45), kTableAfter,
                  true},
        TableCase{"RestoredDefaultMissing",
                  netsteer::RestoreDefaultRouteCommand(L"192.168.1.1", 12), kTableAfter, false},
        TableCase{"DeletedDefaultGone", netsteer::DeleteDefaultRouteCommand(L"192.168.1.1"),
                  kTableAfter, true},
        // Without a mask the tool means a host route.
        TableCase{"DeletedBypassStillThere",
                  netsteer::DeleteServerBypassRouteCommand(L"203.0.113.7"), kTableAfter, false},
        TableCase{"DeletedTunnelDefaultStillThere", netsteer::DeleteTunnelDefaultRouteCommand(45),
                  kTableAfter, false},
        // A table that cannot be read confirms nothing, not even a deletion.
        TableCase{"UnreadableTableConfirmsNoDeletion",
                  netsteer::DeleteDefaultRouteCommand(L"192.168.1.1"), L"", false},
        TableCase{"UnreadableTableConfirmsNoAddition", netsteer::AddTunnelDefaultRouteCommand(45),
                  L"Zugriff verweigert\r\n", false},
        TableCase{"NotARouteCommand", L"route change 0.0.0.0 mask 0.0.0.0 192.168.1.1", kTableAfter,
                  false}),
    [](const ::testing::TestParamInfo<TableCase>& param) { return std::string(param.param.name); });

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

TEST(DeleteAllDefaultRoutesTest, AnAnswerNoRuleKnowsListsNoTableAgain) {
    // The deletions' outcome does not matter, so a localised answer costs no
    // second listing.
    RecordingHelperSystem system;
    system.outputs[netsteer::RoutePrintCommand()] =
        std::wstring(kHead) + L"0.0.0.0 0.0.0.0 192.168.1.1 192.168.1.20 25\r\n";
    const std::wstring del = netsteer::DeleteDefaultRouteCommand(L"192.168.1.1");
    system.outputs[del] = L" OK (auf Deutsch)\r\n";
    netsteer::DeleteAllDefaultRoutes(system);
    EXPECT_EQ(system.calls, (std::vector<SeamCall>{RunCall(netsteer::RoutePrintCommand()),
                                                   RunCall(del), SleepCall(300), SleepCall(400)}));
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
