#include "netsteer/machine/route_command.h"

#include <gtest/gtest.h>

#include <optional>

#include "netsteer/machine/interface_addresses.h"
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
// the command whatever the outcome. A confirmation in other words sends it to
// the route table, which here cannot be read, so that counts as a failure.
TEST_P(RouteOutcomeTest, JudgesTheOutputAndAlwaysPausesAfterTheCommand) {
    const OutcomeCase& c = GetParam();
    EXPECT_EQ(netsteer::RouteOutputMeansSuccess(c.output), c.success);
    EXPECT_EQ(netsteer::JudgeRouteOutput(c.output), c.verdict);

    RecordingHelperSystem system;
    const netsteer::RouteChange change = netsteer::DeleteDefaultRoute(L"192.168.1.1");
    const std::wstring command = netsteer::RouteCommand(change);
    system.outputs[command] = c.output;
    EXPECT_EQ(netsteer::RunRouteCommand(system, change), c.verdict == RouteOutputVerdict::kDone);
    std::vector<SeamCall> expected{RunCall(command), SleepCall(netsteer::kRouteCommandPauseMs)};
    if (c.verdict == RouteOutputVerdict::kConfirmationToCheck) {
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
        // Output that is no confirmation is a refusal, whatever its words.
        OutcomeCase{"PhraseBrokenByLineBreak", L"Element not\r\nfound\r\n", true,
                    RouteOutputVerdict::kRefused},
        OutcomeCase{"ElevationIsNotAFailurePhraseButARefusal",
                    L"The requested operation requires elevation.\r\n", true,
                    RouteOutputVerdict::kRefused},
        OutcomeCase{"LocalisedRefusal",
                    L"Fehler beim Hinzuf\xFFFDgen der Route: Das Objekt ist bereits vorhanden.\r\n",
                    true, RouteOutputVerdict::kRefused},
        OutcomeCase{"RefusalEndingInExclamationMark", L"Route: abgelehnt!\r\n", true,
                    RouteOutputVerdict::kRefused},
        OutcomeCase{"TwoLinesEndingInExclamationMark", L"Fehler\r\n OK!\r\n", true,
                    RouteOutputVerdict::kRefused},
        // Chinese (Simplified) Windows confirms a change in its own words;
        // the table must show it.
        OutcomeCase{"LocalisedConfirmation", L" \u64CD\u4F5C\u5B8C\u6210!\r\n", true,
                    RouteOutputVerdict::kConfirmationToCheck},
        OutcomeCase{"LocalisedConfirmationFullWidth", L" \u5B8C\u6210\uFF01\r\n", true,
                    RouteOutputVerdict::kConfirmationToCheck},
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

// The Chinese tool's confirmation, which the table must bear out.
const wchar_t kLocalisedConfirmation[] = L" \u64CD\u4F5C\u5B8C\u6210!\r\n";

struct TableCase {
    const char* name;
    netsteer::RouteChange change;
    std::wstring listing;
    bool done;
    // What the interface address query prints for a route without a next
    // hop through interface 45; other routes make no query.
    std::wstring addresses = L"10.0.85.2\r\n";
};

void PrintTo(const TableCase& c, std::ostream* out) {
    *out << c.name;
}

class RouteTableOutcomeTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(RouteTableOutcomeTest, TheTableShowsWhetherTheChangeIsThere) {
    const TableCase& c = GetParam();
    const std::optional<int> onLinkInterface = netsteer::OnLinkRouteInterface(c.change.route);
    EXPECT_EQ(netsteer::RouteTableShowsChangeDone(c.change, netsteer::ReadActiveRoutes(c.listing),
                                                  netsteer::ReadInterfaceAddresses(c.addresses)),
              c.done);

    // Through RunRouteCommand with a confirmation in other words.
    RecordingHelperSystem system;
    const std::wstring command = netsteer::RouteCommand(c.change);
    system.outputs[command] = kLocalisedConfirmation;
    system.outputs[netsteer::RoutePrintCommand()] = c.listing;
    const std::wstring query = netsteer::InterfaceAddressesQueryCommand(45);
    system.outputs[query] = c.addresses;
    EXPECT_EQ(netsteer::RunRouteCommand(system, c.change), c.done);
    std::vector<SeamCall> expected{RunCall(command), SleepCall(netsteer::kRouteCommandPauseMs),
                                   RunCall(netsteer::RoutePrintCommand())};
    if (onLinkInterface) {
        EXPECT_EQ(*onLinkInterface, 45);
        expected.push_back(RunCall(query));
    }
    EXPECT_EQ(system.calls, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, RouteTableOutcomeTest,
    ::testing::Values(
        TableCase{"BypassAdded", netsteer::AddServerBypassRoute(L"203.0.113.7", L"192.168.1.1", 12),
                  kTableAfter, true},
        TableCase{"BypassViaOtherGatewayIsNotIt",
                  netsteer::AddServerBypassRoute(L"203.0.113.7", L"10.0.0.1", 12), kTableAfter,
                  false},
        TableCase{"BypassToOtherServerMissing",
                  netsteer::AddServerBypassRoute(L"203.0.113.8", L"192.168.1.1", 12), kTableAfter,
                  false},
        TableCase{"TunnelDefaultAdded", netsteer::AddTunnelDefaultRoute(45), kTableAfter, true},
        TableCase{"TunnelDefaultAmongTheInterfacesAddresses", netsteer::AddTunnelDefaultRoute(45),
                  kTableAfter, true, L"10.0.85.9\r\n\r\n10.0.85.2\r\n"},
        // Another adapter's route without a next hop (another VPN's) is not
        // ours, and neither is one whose interface cannot be looked up.
        TableCase{"OnLinkDefaultOfAnotherAdapterIsNotIt", netsteer::AddTunnelDefaultRoute(45),
                  kTableAfter, false, L"10.8.0.2\r\n"},
        TableCase{"OnLinkDefaultWithTheInterfaceNotFoundIsNotIt",
                  netsteer::AddTunnelDefaultRoute(45), kTableAfter, false,
                  L"Get-NetIPAddress : 10.0.85.2 not found\r\n"},
        TableCase{"RestoredDefaultMissing", netsteer::RestoreDefaultRoute(L"192.168.1.1", 12),
                  kTableAfter, false},
        TableCase{"DeletedDefaultGone", netsteer::DeleteDefaultRoute(L"192.168.1.1"), kTableAfter,
                  true},
        // Without a mask the tool means a host route.
        TableCase{"DeletedBypassStillThere", netsteer::DeleteServerBypassRoute(L"203.0.113.7"),
                  kTableAfter, false},
        TableCase{"DeletedTunnelDefaultStillThere", netsteer::DeleteTunnelDefaultRoute(45),
                  kTableAfter, false},
        TableCase{"DeletedTunnelDefaultGoneWhileAnotherAdaptersStays",
                  netsteer::DeleteTunnelDefaultRoute(45), kTableAfter, true, L"10.8.0.2\r\n"},
        // A table that cannot be read confirms nothing, not even a deletion.
        TableCase{"UnreadableTableConfirmsNoDeletion", netsteer::DeleteDefaultRoute(L"192.168.1.1"),
                  L"", false},
        TableCase{"UnreadableTableConfirmsNoAddition", netsteer::AddTunnelDefaultRoute(45),
                  L"Zugriff verweigert\r\n", false}),
    [](const ::testing::TestParamInfo<TableCase>& param) { return std::string(param.param.name); });

// The English tool refuses a route that is already there. So does every
// language, though the table then shows the route as asked: the outcome and
// its exit code are the English ones, and no table is listed to judge it.
TEST(RouteRefusalTest, RouteAlreadyThereIsRefusedInEveryLanguage) {
    const std::wstring refusals[] = {
        L"The route addition failed: The object already exists.\r\n\r\n",
        L"Fehler beim Hinzuf\xFFFDgen der Route: Das Objekt ist bereits vorhanden.\r\n\r\n",
        L"\u0421\u0431\u043E\u0439 \u0434\u043E\u0431\u0430\u0432\u043B\u0435\u043D\u0438\u044F "
        L"\u043C\u0430\u0440\u0448\u0440\u0443\u0442\u0430: \u041E\u0431\u044A\u0435\u043A\u0442 "
        L"\u0443\u0436\u0435 \u0441\u0443\u0449\u0435\u0441\u0442\u0432\u0443\u0435\u0442.\r\n\r\n",
        L"\u8DEF\u7531\u6DFB\u52A0\u5931\u8D25: \u5BF9\u8C61\u5DF2\u5B58\u5728\u3002\r\n\r\n",
        L"L'ajout de l'itin\u00E9raire a \u00E9chou\u00E9 : L'objet existe d\u00E9j\u00E0.\r\n\r\n",
    };
    const netsteer::RouteChange changes[] = {
        netsteer::AddServerBypassRoute(L"203.0.113.7", L"192.168.1.1", 12),
        netsteer::AddTunnelDefaultRoute(45),
    };
    for (const netsteer::RouteChange& change : changes) {
        const std::wstring command = netsteer::RouteCommand(change);
        for (const std::wstring& refusal : refusals) {
            SCOPED_TRACE(::testing::Message()
                         << RunCall(command) << " answered " << RunCall(refusal));
            RecordingHelperSystem system;
            system.outputs[command] = refusal;
            system.outputs[netsteer::RoutePrintCommand()] = kTableAfter;
            system.outputs[netsteer::InterfaceAddressesQueryCommand(45)] = L"10.0.85.2\r\n";
            EXPECT_FALSE(netsteer::RunRouteCommand(system, change));
            EXPECT_EQ(system.calls,
                      (std::vector<SeamCall>{RunCall(command),
                                             SleepCall(netsteer::kRouteCommandPauseMs)}));
        }
    }
}

// A command the interpreter could not even start changed nothing: refused,
// after the same pause, with no table listed; the readers find nothing.
TEST(RouteRefusalTest, CommandThatCouldNotRunIsRefused) {
    RecordingHelperSystem system;
    const netsteer::RouteChange change = netsteer::AddTunnelDefaultRoute(45);
    const std::wstring command = netsteer::RouteCommand(change);
    system.notRun = {command, netsteer::RoutePrintCommand()};
    system.outputs[netsteer::RoutePrintCommand()] = kTableAfter;
    EXPECT_FALSE(netsteer::RunRouteCommand(system, change));
    EXPECT_EQ(system.calls,
              (std::vector<SeamCall>{RunCall(command), SleepCall(netsteer::kRouteCommandPauseMs)}));

    system.calls.clear();
    netsteer::DeleteAllDefaultRoutes(system);
    EXPECT_EQ(system.calls, (std::vector<SeamCall>{RunCall(netsteer::RoutePrintCommand()),
                                                   SleepCall(netsteer::kDeleteDefaultsPauseMs)}));
}

TEST(DeleteAllDefaultRoutesTest, SharedGatewayGetsOneCommandPerRouteAndFailuresDoNotStop) {
    RecordingHelperSystem system;
    system.outputs[netsteer::RoutePrintCommand()] =
        std::wstring(kHead) +
        L"0.0.0.0 0.0.0.0 192.168.1.1 192.168.1.20 25\r\n"
        L"0.0.0.0 0.0.0.0 192.168.1.1 192.168.1.21 30\r\n";
    system.outputs[netsteer::RouteCommand(netsteer::DeleteDefaultRoute(L"192.168.1.1"))] =
        L"The route deletion failed: Element not found.\r\n\r\n";
    netsteer::DeleteAllDefaultRoutes(system);
    const std::wstring del = netsteer::RouteCommand(netsteer::DeleteDefaultRoute(L"192.168.1.1"));
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
    const std::wstring del = netsteer::RouteCommand(netsteer::DeleteDefaultRoute(L"192.168.1.1"));
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
              (std::vector<SeamCall>{
                  RunCall(netsteer::RoutePrintCommand()),
                  RunCall(netsteer::RouteCommand(netsteer::DeleteDefaultRoute(L"192.168.1.1"))),
                  SleepCall(300), SleepCall(400)}));
}

TEST(DeleteAllDefaultRoutesTest, NoOutputStillPausesOnce) {
    RecordingHelperSystem system;
    netsteer::DeleteAllDefaultRoutes(system);
    EXPECT_EQ(system.calls,
              (std::vector<SeamCall>{RunCall(netsteer::RoutePrintCommand()), SleepCall(400)}));
}

}  // namespace
