// HelperMain, RunStart and RunStop against a scripted machine: the exact
// command lines, sleeps and log lines of a normal start and stop, and every
// exit code reached through its real cause.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "netsteer/control/helper_entry.h"
#include "netsteer/control/start_sequence.h"
#include "netsteer/control/stop_sequence.h"
#include "netsteer/control/route_state.h"
#include "netsteer/control/state_file_io.h"
#include "netsteer/machine/system_commands.h"
#include "netsteer/netsteer_constants.h"
#include "tests/unit/control/control_fixtures.h"
#include "tests/unit/control/foreign_owner.h"
#include "tests/unit/control/fake_control_system.h"

namespace netsteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::wstring kNetsh = L"netsh interface ipv4 show interfaces";
const std::wstring kRoutePrint = L"route print -4";
const std::wstring kUplinkQuery =
    L"powershell -NoProfile -WindowStyle Hidden -Command \"$x = Get-NetIPAddress -AddressFamily "
    L"IPv4 | Where-Object {$_.IPAddress -eq '192.168.1.23'} | Select-Object -First 1 "
    L"-ExpandProperty InterfaceIndex; if ($x) { Write-Output $x }\"";
const std::wstring kAddBypass =
    L"route add 203.0.113.7 mask 255.255.255.255 192.168.1.1 if 12 metric 1";
const std::wstring kAddTunnelDefault = L"route add 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45 metric 1";
const std::wstring kDeleteWifiDefault = L"route delete 0.0.0.0 mask 0.0.0.0 10.0.0.1";
const std::wstring kDeleteEthernetDefault = L"route delete 0.0.0.0 mask 0.0.0.0 192.168.1.1";
const std::wstring kDeleteTunnelDefault = L"route delete 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45";
const std::wstring kDeleteBypass = L"route delete 203.0.113.7";
const std::wstring kRestoreDefault = L"route add 0.0.0.0 mask 0.0.0.0 192.168.1.1 if 12 metric 25";

const std::wstring kAddIpv6Low = L"netsh interface ipv6 add route ::/1 interface=45 store=active";
const std::wstring kAddIpv6High =
    L"netsh interface ipv6 add route 8000::/1 interface=45 store=active";

const RouteState kSavedState{L"192.168.1.1", 12, L"203.0.113.7"};

class SequenceTest : public ::testing::Test {
  protected:
    SequenceTest() : system(stateFile.Path()) {
        system.Resolve(L"vpn.example.com", L"203.0.113.7");
        system.Resolve(L"203.0.113.7", L"203.0.113.7");
        system.Resolve(L"10.0.0.1", L"10.0.0.1");
    }

    // The machine before `start`: tunnel up, Ethernet and Wi-Fi defaults.
    void ScriptMachineBeforeStart() {
        system.Script(kNetsh, {kNetshWithTunnel});
        system.Script(kRoutePrint, {kRoutePrintBeforeStart});
        system.Script(kUplinkQuery, {kPowerShellIndex12});
        for (const auto& command :
             {kAddBypass, kAddTunnelDefault, kDeleteWifiDefault, kDeleteEthernetDefault}) {
            system.Script(command, {kRouteOk});
        }
    }

    // The machine while the tunnel carries the traffic.
    void ScriptMachineTunnelUp() {
        system.Script(kNetsh, {kNetshWithTunnel});
        system.Script(kRoutePrint, {kRoutePrintTunnelUp});
        for (const auto& command : {kDeleteTunnelDefault, kDeleteBypass, kRestoreDefault}) {
            system.Script(command, {kRouteOk});
        }
    }

    int Run(const std::vector<std::wstring>& args) {
        std::vector<const wchar_t*> argv{L"C:\\Program Files\\VelkVPN\\netsteer.exe"};
        for (const auto& arg : args) {
            argv.push_back(arg.c_str());
        }
        return HelperMain(system, static_cast<int>(argv.size()), argv.data());
    }

    bool StateFileExists() const {
        return std::filesystem::exists(stateFile.Directory() / "route_state.txt");
    }

    RouteState LoadedState() {
        RouteState state;
        EXPECT_TRUE(LoadState(stateFile.Path(), state));
        return state;
    }

    // The host is looked up once, before anything else is done.
    void ExpectHostResolvedOnceFirst() {
        ASSERT_FALSE(system.trace.empty());
        EXPECT_EQ(system.trace.front().rfind(L"resolve: ", 0), 0u) << system.trace.front();
        EXPECT_EQ(std::count_if(
                      system.trace.begin(), system.trace.end(),
                      [](const std::wstring& step) { return step.rfind(L"resolve: ", 0) == 0; }),
                  1);
    }

    TempStateFile stateFile;
    FakeControlSystem system;
};

void ExpectSameState(const RouteState& actual, const RouteState& expected) {
    EXPECT_EQ(actual.gateway, expected.gateway);
    EXPECT_EQ(actual.interfaceIndex, expected.interfaceIndex);
    EXPECT_EQ(actual.serverIp, expected.serverIp);
}

TEST_F(SequenceTest, NormalStartRunsEveryStepInOrder) {
    ScriptMachineBeforeStart();

    EXPECT_EQ(Run({L"start", L"vpn.example.com"}), 0);

    EXPECT_THAT(system.trace, ElementsAreArray(std::vector<std::wstring>{
                                  L"resolve: vpn.example.com",
                                  L"log: Resolved server IP: 203.0.113.7",
                                  L"log: Resolved server Host: vpn.example.com",
                                  L"log: [HELPER] START CALLED",
                                  L"run: " + kNetsh,
                                  std::wstring(L"log: ") + kTunnelMatchedLog,
                                  L"log: Tunnel index found",
                                  L"run: " + kRoutePrint,
                                  L"run: " + kUplinkQuery,
                                  L"log: Delete State Done",
                                  L"log: Save State Done",
                                  L"run: " + kAddBypass,
                                  L"sleep: 300",
                                  L"log: Add Server Bypass Route Done",
                                  L"run: " + kRoutePrint,
                                  L"run: " + kDeleteWifiDefault,
                                  L"sleep: 300",
                                  L"run: " + kDeleteEthernetDefault,
                                  L"sleep: 300",
                                  L"sleep: 400",
                                  L"log: Delete All Default Routes Done",
                                  L"run: " + kAddTunnelDefault,
                                  L"sleep: 300",
                                  L"log: Add Tunnel Default Route Done",
                                  L"run: " + kAddIpv6Low,
                                  L"run: " + kAddIpv6High,
                                  L"log: Add IPv6 Tunnel Routes Done",
                                  L"log: No DNS server given: DNS not steered",
                                  L"sleep: 700",
                                  L"log: RETURN 0: start done",
                              }));
    ExpectSameState(LoadedState(), kSavedState);
}

TEST_F(SequenceTest, NormalStopRestoresTheSavedRouteAndRemovesTheFile) {
    ASSERT_TRUE(SaveState(stateFile.Path(), kSavedState));
    ScriptMachineTunnelUp();

    EXPECT_EQ(Run({L"stop", L"vpn.example.com"}), 0);

    EXPECT_THAT(system.trace, ElementsAreArray(std::vector<std::wstring>{
                                  L"resolve: vpn.example.com",
                                  L"log: Resolved server IP: 203.0.113.7",
                                  L"log: Resolved server Host: vpn.example.com",
                                  L"log: [HELPER] STOP CALLED",
                                  L"run: " + kNetsh,
                                  std::wstring(L"log: ") + kTunnelMatchedLog,
                                  L"run: " + kDeleteTunnelDefault,
                                  L"sleep: 300",
                                  L"log: Delete Tunnel Default Route Done",
                                  L"run: " + kRoutePrint,
                                  L"sleep: 400",
                                  L"log: Delete All Default Routes Done",
                                  L"run: " + kDeleteBypass,
                                  L"sleep: 300",
                                  L"log: Delete Server Bypass Route Done",
                                  L"run: " + kRestoreDefault,
                                  L"sleep: 300",
                                  L"log: Restore Default Route Done",
                                  L"log: Delete State Done",
                                  L"sleep: 700",
                                  L"log: Stop Ended .... return 0",
                              }));
    EXPECT_FALSE(StateFileExists());
}

TEST_F(SequenceTest, StartThenStopLeavesNoStateBehind) {
    ScriptMachineBeforeStart();
    ASSERT_EQ(Run({L"start", L"203.0.113.7"}), 0);
    ScriptMachineTunnelUp();
    system.ClearRecords();
    EXPECT_EQ(Run({L"stop", L"203.0.113.7"}), 0);
    EXPECT_THAT(system.commands, ::testing::Contains(kRestoreDefault));
    EXPECT_FALSE(StateFileExists());
}

TEST_F(SequenceTest, StopWithTheTunnelGoneSkipsOnlyTheTunnelRoute) {
    ASSERT_TRUE(SaveState(stateFile.Path(), kSavedState));
    ScriptMachineTunnelUp();
    system.Script(kNetsh, {kNetshWithoutTunnel});

    EXPECT_EQ(Run({L"stop", L"203.0.113.7"}), 0);

    EXPECT_THAT(system.commands, ElementsAre(kNetsh, kRoutePrint, kDeleteBypass, kRestoreDefault));
    EXPECT_THAT(
        system.logs,
        ElementsAre(L"Resolved server IP: 203.0.113.7", L"Resolved server Host: 203.0.113.7",
                    L"[HELPER] STOP CALLED", kNetshNoMatchLog, L"Delete All Default Routes Done",
                    L"Delete Server Bypass Route Done", L"Restore Default Route Done",
                    L"Delete State Done", L"Stop Ended .... return 0"));
}

TEST_F(SequenceTest, StopCarriesOnPastRefusedDeletions) {
    ASSERT_TRUE(SaveState(stateFile.Path(), kSavedState));
    ScriptMachineTunnelUp();
    system.Script(kDeleteTunnelDefault, {kRouteDeleteNotFound});
    system.Script(kDeleteBypass, {kRouteDeleteNotFound});

    EXPECT_EQ(Run({L"stop", L"203.0.113.7"}), 0);
    EXPECT_FALSE(StateFileExists());
}

// After a restart or a move the recorded gateway may be gone: stop must then
// keep the live network's default route and add no dead one.
TEST_F(SequenceTest, StopPutsTheSavedRouteBackOnlyOnItsOwnNetwork) {
    const std::wstring gatewayGone =
        L"Saved Gateway Not On This Network, Default Routes Kept: 192.168.1.1";
    struct Case {
        const char* name;
        std::wstring netsh;
        std::wstring listing;
        std::vector<std::wstring> commands;
        std::vector<std::wstring> logs;  // after "[HELPER] STOP CALLED"
    };
    const Case cases[] = {
        {"moved and restarted: the tunnel is gone",
         kNetshWithoutTunnel,
         kRoutePrintMovedToOffice,
         {kNetsh, kRoutePrint, kDeleteBypass},
         {kNetshNoMatchLog, gatewayGone, L"Delete Server Bypass Route Done", L"Delete State Done",
          L"Stop Ended .... return 0"}},
        {"moved with the tunnel up",
         kNetshWithTunnel,
         kRoutePrintMovedTunnelUp,
         {kNetsh, kDeleteTunnelDefault, kRoutePrint, kDeleteBypass},
         {kTunnelMatchedLog, L"Delete Tunnel Default Route Done", gatewayGone,
          L"Delete Server Bypass Route Done", L"Delete State Done", L"Stop Ended .... return 0"}},
        {"restarted on the same network: put back as always",
         kNetshWithoutTunnel,
         kRoutePrintAfterRestart,
         {kNetsh, kRoutePrint, kDeleteEthernetDefault, kDeleteBypass, kRestoreDefault},
         {kNetshNoMatchLog, L"Delete All Default Routes Done", L"Delete Server Bypass Route Done",
          L"Restore Default Route Done", L"Delete State Done", L"Stop Ended .... return 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        system.ClearRecords();
        ASSERT_TRUE(SaveState(stateFile.Path(), kSavedState));
        ScriptMachineTunnelUp();
        system.Script(kNetsh, {c.netsh});
        system.Script(kRoutePrint, {c.listing});
        system.Script(kDeleteBypass, {kRouteDeleteNotFound});
        system.Script(kDeleteEthernetDefault, {kRouteOk});

        EXPECT_EQ(Run({L"stop", L"203.0.113.7"}), 0);

        EXPECT_EQ(system.commands, c.commands);
        EXPECT_EQ(std::vector<std::wstring>(system.logs.begin() + 3, system.logs.end()), c.logs);
        EXPECT_THAT(std::vector<std::wstring>(system.trace.end() - 2, system.trace.end()),
                    ElementsAre(L"sleep: 700", L"log: Stop Ended .... return 0"));
        EXPECT_FALSE(StateFileExists());
        ExpectHostResolvedOnceFirst();
    }
}

// The state of an earlier start that was never stopped: undone on its own
// network; from another network, only its tunnel and server routes go, and
// the new network's default route becomes the uplink.
TEST_F(SequenceTest, StartUndoesALeftoverStateOnlyOnItsOwnNetwork) {
    const std::wstring officeQuery = UplinkIndexQueryCommand(L"172.20.4.61");
    const std::wstring officeBypass =
        L"route add 203.0.113.7 mask 255.255.255.255 172.20.4.1 if 12 metric 1";
    const std::wstring deleteOfficeDefault = L"route delete 0.0.0.0 mask 0.0.0.0 172.20.4.1";
    struct Case {
        const char* name;
        std::vector<std::wstring> listings;
        std::vector<std::wstring> commands;
        std::vector<std::wstring> logs;  // after "[HELPER] START CALLED"
        RouteState saved;
    };
    const Case cases[] = {
        {"moved with the tunnel up",
         {kRoutePrintMovedTunnelUp},
         {kRoutePrint, kDeleteBypass, kNetsh, kDeleteTunnelDefault, kRoutePrint, officeQuery,
          officeBypass, kRoutePrint, deleteOfficeDefault, kAddTunnelDefault, kAddIpv6Low,
          kAddIpv6High},
         {L"Saved Gateway Not On This Network, Default Routes Kept: 192.168.1.1",
          L"Delete Leftover Server Bypass Route Done", L"Delete Leftover State Done",
          kTunnelMatchedLog, L"Tunnel index found", L"Delete Leftover Tunnel Default Route Done",
          L"Delete State Done", L"Save State Done", L"Add Server Bypass Route Done",
          L"Delete All Default Routes Done", L"Add Tunnel Default Route Done",
          L"Add IPv6 Tunnel Routes Done", L"No DNS server given: DNS not steered",
          L"RETURN 0: start done"},
         RouteState{L"172.20.4.1", 12, L"203.0.113.7"}},
        {"still routed on the same network: undone as always",
         {kRoutePrintTunnelUp, kRoutePrintBeforeStart},
         {kRoutePrint, kDeleteBypass, kRestoreDefault, kNetsh, kDeleteTunnelDefault, kRoutePrint,
          kUplinkQuery, kAddBypass, kRoutePrint, kDeleteWifiDefault, kDeleteEthernetDefault,
          kAddTunnelDefault, kAddIpv6Low, kAddIpv6High},
         {kTunnelMatchedLog, L"Tunnel index found", L"Delete State Done", L"Save State Done",
          L"Add Server Bypass Route Done", L"Delete All Default Routes Done",
          L"Add Tunnel Default Route Done", L"Add IPv6 Tunnel Routes Done",
          L"No DNS server given: DNS not steered", L"RETURN 0: start done"},
         kSavedState},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        system.ClearRecords();
        ASSERT_TRUE(SaveState(stateFile.Path(), kSavedState));
        ScriptMachineBeforeStart();
        system.Script(kRoutePrint, c.listings);
        system.Script(officeQuery, {kPowerShellIndex12});
        for (const auto& command : {officeBypass, deleteOfficeDefault}) {
            system.Script(command, {kRouteOk});
        }

        EXPECT_EQ(Run({L"start", L"203.0.113.7"}), 0);

        EXPECT_EQ(system.commands, c.commands);
        EXPECT_EQ(std::vector<std::wstring>(system.logs.begin() + 3, system.logs.end()), c.logs);
        ExpectSameState(LoadedState(), c.saved);
        ExpectHostResolvedOnceFirst();
    }
}

// ---- exit codes, each through its real cause ----

TEST_F(SequenceTest, Code1WithoutActionOrHostAndNoLogLine) {
    for (const auto& args : std::vector<std::vector<std::wstring>>{{}, {L"start"}, {L"stop"}}) {
        system.ClearRecords();
        EXPECT_EQ(Run(args), 1) << args.size() << " arguments";
        EXPECT_TRUE(system.logs.empty());
        // Not even the host is looked up.
        EXPECT_TRUE(system.trace.empty());
    }
}

// Without Winsock nothing is learnt about the host: code 1 for every action,
// with no log line and no command.
TEST_F(SequenceTest, Code1WhenTheResolverCannotStartAndNoLogLine) {
    system.resolverStarts = false;
    for (const std::wstring action : {L"start", L"stop", L"restart"}) {
        system.ClearRecords();
        EXPECT_EQ(Run({action, L"203.0.113.7"}), 1) << action;
        EXPECT_THAT(system.trace, ElementsAre(L"resolve: 203.0.113.7")) << action;
    }
}

TEST_F(SequenceTest, Code2ForAnUnresolvableHostWhateverTheAction) {
    for (const std::wstring action : {L"start", L"stop", L"START", L""}) {
        system.ClearRecords();
        EXPECT_EQ(Run({action, L"no-such-host.invalid"}), 2) << action;
        EXPECT_THAT(system.trace, ElementsAre(L"resolve: no-such-host.invalid",
                                              L"log: RETURN 2: GetVpnServerIp not found"))
            << action;
    }
}

TEST_F(SequenceTest, Code6ForAnyActionButTheTwoExactWords) {
    for (const std::wstring action : {L"START", L"Stop", L" start", L"start ", L"", L"restart"}) {
        system.ClearRecords();
        EXPECT_EQ(Run({action, L"10.0.0.1", L"extra"}), 6) << action;
        EXPECT_THAT(
            system.trace,
            ElementsAre(L"resolve: 10.0.0.1", L"log: Resolved server IP: 10.0.0.1",
                        L"log: Resolved server Host: 10.0.0.1", L"log: RETURN 6: unknown action"))
            << action;
    }
}

TEST_F(SequenceTest, TunnelFoundOnTheTwentyFirstAttempt) {
    ScriptMachineBeforeStart();
    std::vector<std::wstring> listings(20, kNetshWithoutTunnel);
    listings.push_back(kNetshWithTunnel);
    system.Script(kNetsh, listings);

    EXPECT_EQ(Run({L"start", L"203.0.113.7"}), 0);

    // 20 failed lookups, each logged and followed by 500 ms, then the match.
    std::vector<std::wstring> expected{L"log: [HELPER] START CALLED"};
    for (int i = 0; i < 20; ++i) {
        expected.push_back(L"run: " + kNetsh);
        expected.push_back(L"log: " + kNetshNoMatchLog);
        expected.push_back(L"sleep: 500");
    }
    expected.push_back(L"run: " + kNetsh);
    expected.push_back(std::wstring(L"log: ") + kTunnelMatchedLog);
    expected.push_back(L"log: Tunnel index found");
    const std::vector<std::wstring> head(system.trace.begin() + 3,
                                         system.trace.begin() + 3 + expected.size());
    EXPECT_EQ(head, expected);
    EXPECT_THAT(system.commands, ::testing::Contains(kAddTunnelDefault));
    ExpectHostResolvedOnceFirst();
}

TEST_F(SequenceTest, Code3AfterOneHundredTwentyFailedLookups) {
    ScriptMachineBeforeStart();
    system.Script(kNetsh, {kNetshWithoutTunnel});
    // With the clock standing still only the attempt count ends the search.
    system.clockFrozen = true;

    EXPECT_EQ(Run({L"start", L"203.0.113.7"}), 3);

    EXPECT_EQ(system.commands, std::vector<std::wstring>(120, kNetsh));
    EXPECT_EQ(system.sleeps, std::vector<std::uint32_t>(120, 500));
    ASSERT_GE(system.trace.size(), 3u);
    // The 120th attempt sleeps too before the code is given.
    EXPECT_THAT(std::vector<std::wstring>(system.trace.end() - 2, system.trace.end()),
                ElementsAre(L"sleep: 500", L"log: RETURN 3: tunnel index not found"));
    EXPECT_FALSE(StateFileExists());
    ExpectHostResolvedOnceFirst();
}

// The service ends a run after 70 s; the search must end well before, counted
// from the helper's start, however long each listing takes, and a tunnel
// that turns up after the deadline must not start a route change.
TEST_F(SequenceTest, TunnelSearchEndsAtTheDeadline) {
    struct Case {
        const char* name;
        std::uint32_t listingCostMs;
        int tunnelOnListing;  // 0: never
        int code;
        std::size_t listings;
    };
    const Case cases[] = {
        {"fast machine, no tunnel", 0, 0, 3, 100},
        {"slow machine, no tunnel", 230, 0, 3, 69},
        {"tunnel on the last listing before the deadline", 0, 100, 0, 100},
        {"tunnel on the first listing after it", 0, 101, 3, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteState(stateFile.Path());  // an undo would spend time of its own
        system.ClearRecords();
        ScriptMachineBeforeStart();
        std::vector<std::wstring> listings(c.tunnelOnListing == 0 ? 1 : c.tunnelOnListing - 1,
                                           kNetshWithoutTunnel);
        if (c.tunnelOnListing != 0) {
            listings.push_back(kNetshWithTunnel);
        }
        system.Script(kNetsh, listings);
        system.commandCostMs = c.listingCostMs;
        const std::uint64_t started = system.clockMs;

        EXPECT_EQ(Run({L"start", L"203.0.113.7"}), c.code);

        const auto netshRuns = static_cast<std::size_t>(
            std::count(system.commands.begin(), system.commands.end(), kNetsh));
        EXPECT_EQ(netshRuns, c.listings);
        ExpectHostResolvedOnceFirst();
        if (c.code != 3) {
            EXPECT_THAT(system.commands, ::testing::Contains(kAddTunnelDefault));
            continue;
        }
        EXPECT_EQ(system.commands.size(), netshRuns) << "a command other than the listing ran";
        // Given up at the first look at the clock past the deadline: after
        // the pause of the attempt that crossed it.
        const std::uint64_t elapsed = system.clockMs - started;
        EXPECT_GE(elapsed, kTunnelSearchDeadlineMs);
        EXPECT_LT(elapsed, kTunnelSearchDeadlineMs + kTunnelRetryPauseMs + c.listingCostMs);
        EXPECT_THAT(std::vector<std::wstring>(system.trace.end() - 2, system.trace.end()),
                    ElementsAre(L"sleep: 500", L"log: RETURN 3: tunnel index not found"));
        EXPECT_FALSE(StateFileExists());
    }
}

TEST_F(SequenceTest, Code4WhenNoDefaultRouteHasARealGateway) {
    const std::wstring onLinkOnly =
        L"Active Routes:\r\n"
        L"Network Destination        Netmask          Gateway       Interface  Metric\r\n"
        L"          0.0.0.0          0.0.0.0         On-link       10.0.85.2      5\r\n"
        L"          0.0.0.0          0.0.0.0         0.0.0.0       10.0.85.2      6\r\n"
        L"        127.0.0.0        255.0.0.0         On-link         127.0.0.1    331\r\n"
        L"===========================================================================\r\n"
        L"Persistent Routes:\r\n"
        L"  None\r\n";
    for (const std::wstring& listing : {onLinkOnly, std::wstring()}) {
        system.ClearRecords();
        ScriptMachineBeforeStart();
        system.Script(kRoutePrint, {listing});
        EXPECT_EQ(Run({L"start", L"203.0.113.7"}), 4);
        EXPECT_EQ(system.logs.back(), L"RETURN 4: active default route not found");
        EXPECT_THAT(system.commands, ElementsAre(kNetsh, kRoutePrint));
        EXPECT_FALSE(StateFileExists());
        ExpectHostResolvedOnceFirst();
    }
}

TEST_F(SequenceTest, Code5WhenPowerShellFindsNoIndex) {
    for (const std::wstring& answer :
         {std::wstring(), std::wstring(L"\r\n"), kPowerShellNotRecognised,
          std::wstring(L"99999999999\r\n"), std::wstring(L"0\r\n"), std::wstring(L"-3\r\n")}) {
        system.ClearRecords();
        ScriptMachineBeforeStart();
        system.Script(kUplinkQuery, {answer});
        EXPECT_EQ(Run({L"start", L"203.0.113.7"}), 5);
        EXPECT_EQ(system.logs.back(), L"RETURN 5: uplink interface index not found");
        EXPECT_THAT(system.commands, ElementsAre(kNetsh, kRoutePrint, kUplinkQuery));
        EXPECT_FALSE(StateFileExists());
        ExpectHostResolvedOnceFirst();
    }
}

TEST_F(SequenceTest, UplinkAnswerWithFurtherLinesTakesTheLeadingNumber) {
    ScriptMachineBeforeStart();
    system.Script(kUplinkQuery, {L"12\r\n7\r\n"});
    EXPECT_EQ(Run({L"start", L"203.0.113.7"}), 0);
    EXPECT_EQ(LoadedState().interfaceIndex, 12);
}

TEST_F(SequenceTest, Code9WhenTheBypassRouteAlreadyExists) {
    ScriptMachineBeforeStart();
    system.Script(kAddBypass, {kRouteAddExists});

    EXPECT_EQ(Run({L"start", L"203.0.113.7"}), 9);

    EXPECT_THAT(system.commands, ElementsAre(kNetsh, kRoutePrint, kUplinkQuery, kAddBypass));
    EXPECT_THAT(std::vector<std::wstring>(system.trace.end() - 4, system.trace.end()),
                ElementsAre(L"log: Save State Done", L"run: " + kAddBypass, L"sleep: 300",
                            L"log: RETURN 9: AddServerBypassRoute failed"));
    // The default routes stay, and so does the record for `stop`.
    ExpectSameState(LoadedState(), kSavedState);
    ExpectHostResolvedOnceFirst();
}

TEST_F(SequenceTest, Code8WhenTheTunnelDefaultRouteIsRefused) {
    ScriptMachineBeforeStart();
    system.Script(kAddTunnelDefault, {kRouteAddBadInterface});

    EXPECT_EQ(Run({L"start", L"203.0.113.7"}), 8);

    EXPECT_THAT(system.commands,
                ElementsAre(kNetsh, kRoutePrint, kUplinkQuery, kAddBypass, kRoutePrint,
                            kDeleteWifiDefault, kDeleteEthernetDefault, kAddTunnelDefault));
    EXPECT_EQ(system.trace.back(), L"log: RETURN 8: AddTunnelDefaultRoute failed");
    ExpectSameState(LoadedState(), kSavedState);
    ExpectHostResolvedOnceFirst();
}

// A judged route command whose interpreter could not be started changed
// nothing: it gives the code of its refusal, and the record for `stop` stays.
TEST_F(SequenceTest, JudgedRouteCommandThatCannotRunGivesItsRefusalCode) {
    struct Case {
        std::wstring command;
        const wchar_t* action;
        int code;
    };
    const Case cases[] = {
        {kAddBypass, L"start", 9},
        {kAddTunnelDefault, L"start", 8},
        {kRestoreDefault, L"stop", 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.code);
        system = FakeControlSystem(stateFile.Path());
        system.Resolve(L"203.0.113.7", L"203.0.113.7");
        if (c.code == 10) {
            ASSERT_TRUE(SaveState(stateFile.Path(), kSavedState));
            ScriptMachineTunnelUp();
        } else {
            ScriptMachineBeforeStart();
        }
        system.CannotRun(c.command);

        EXPECT_EQ(Run({c.action, L"203.0.113.7"}), c.code);
        EXPECT_EQ(system.commands.back(), c.command);
        ExpectSameState(LoadedState(), kSavedState);
    }
}

TEST_F(SequenceTest, Code7TwiceInARow) {
    ASSERT_TRUE(SaveState(stateFile.Path(), kSavedState));
    ScriptMachineTunnelUp();
    ASSERT_EQ(Run({L"stop", L"203.0.113.7"}), 0);

    for (int run = 0; run < 2; ++run) {
        system.ClearRecords();
        EXPECT_EQ(Run({L"stop", L"203.0.113.7"}), 7) << "run " << run;
        EXPECT_TRUE(system.commands.empty());
        EXPECT_THAT(std::vector<std::wstring>(system.trace.begin() + 3, system.trace.end()),
                    ElementsAre(L"log: [HELPER] STOP CALLED",
                                L"log: RETURN 7: state file missing on stop"));
        ExpectHostResolvedOnceFirst();
    }
}

TEST_F(SequenceTest, Code10KeepsTheStateFileAndASecondStopRepeatsTheSteps) {
    ASSERT_TRUE(SaveState(stateFile.Path(), kSavedState));
    ScriptMachineTunnelUp();
    system.Script(kRestoreDefault, {kRouteAddBadInterface});

    EXPECT_EQ(Run({L"stop", L"203.0.113.7"}), 10);
    const std::vector<std::wstring> firstCommands = system.commands;
    EXPECT_THAT(firstCommands, ElementsAre(kNetsh, kDeleteTunnelDefault, kRoutePrint, kDeleteBypass,
                                           kRestoreDefault));
    EXPECT_THAT(std::vector<std::wstring>(system.trace.end() - 2, system.trace.end()),
                ElementsAre(L"sleep: 300", L"log: RETURN 10: restore default route failed"));
    ExpectSameState(LoadedState(), kSavedState);
    ExpectHostResolvedOnceFirst();

    system.ClearRecords();
    system.Script(kRestoreDefault, {kRouteOk});
    EXPECT_EQ(Run({L"stop", L"203.0.113.7"}), 0);
    EXPECT_EQ(system.commands, firstCommands);
    EXPECT_FALSE(StateFileExists());
}

TEST_F(SequenceTest, LeftoverStateIsUndoneByTheNextStartWithoutALogLine) {
    const RouteState leftover{L"10.0.0.1", 17, L"198.51.100.9"};
    ASSERT_TRUE(SaveState(stateFile.Path(), leftover));
    ScriptMachineBeforeStart();

    EXPECT_EQ(Run({L"start", L"203.0.113.7"}), 0);

    const std::vector<std::wstring> head(system.trace.begin() + 3, system.trace.begin() + 14);
    EXPECT_THAT(head, ElementsAre(L"log: [HELPER] START CALLED", L"run: " + kRoutePrint,
                                  L"run: " + kDeleteWifiDefault, L"sleep: 300",
                                  L"run: " + kDeleteEthernetDefault, L"sleep: 300", L"sleep: 400",
                                  L"run: route delete 198.51.100.9", L"sleep: 300",
                                  L"run: route add 0.0.0.0 mask 0.0.0.0 10.0.0.1 if 17 metric 25",
                                  L"sleep: 300"));
    EXPECT_EQ(system.trace[14], L"sleep: 500");
    EXPECT_EQ(system.trace[15], L"run: " + kNetsh);
    // The earlier start's tunnel default route goes before the new one is
    // added, as stop would delete it.
    EXPECT_THAT(std::vector<std::wstring>(system.trace.begin() + 17, system.trace.begin() + 21),
                ElementsAre(L"log: Tunnel index found", L"run: " + kDeleteTunnelDefault,
                            L"sleep: 300", L"run: " + kRoutePrint));
    EXPECT_THAT(
        system.logs,
        ElementsAre(L"Resolved server IP: 203.0.113.7", L"Resolved server Host: 203.0.113.7",
                    L"[HELPER] START CALLED", kTunnelMatchedLog, L"Tunnel index found",
                    L"Delete State Done", L"Save State Done", L"Add Server Bypass Route Done",
                    L"Delete All Default Routes Done", L"Add Tunnel Default Route Done",
                    L"Add IPv6 Tunnel Routes Done", L"No DNS server given: DNS not steered",
                    L"RETURN 0: start done"));
    // The new record replaces the leftover one.
    ExpectSameState(LoadedState(), kSavedState);
}

TEST_F(SequenceTest, RejectedLeftoverStateIsNotUndoneButReplaced) {
    {
        // A gateway that would smuggle a second command into cmd.exe.
        std::filesystem::create_directories(stateFile.Directory());
        const std::string bytes = EncodeRouteState({L"1.2.3.4 & calc", 12, L"203.0.113.7"});
        FILE* file = std::fopen((stateFile.Directory() / "route_state.txt").string().c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    ScriptMachineBeforeStart();

    EXPECT_EQ(Run({L"start", L"203.0.113.7"}), 0);

    EXPECT_EQ(system.commands.front(), kNetsh);
    for (const auto& command : system.commands) {
        EXPECT_EQ(command.find(L"calc"), std::wstring::npos) << command;
    }
    ExpectSameState(LoadedState(), kSavedState);
}

// Any local user may create the state file while the tunnel is off. One that
// another account wrote, naming that user's own host as gateway, must not
// steer the routes of the machine.
TEST_F(SequenceTest, PlantedStateFileOfAnotherAccountIsIgnoredByStopAndStart) {
    const RouteState planted{L"192.168.1.66", 12, L"198.51.100.9"};
    ASSERT_TRUE(SaveState(stateFile.Path(), planted));
    if (!GiveToAnotherAccount(stateFile.Path())) {
        GTEST_SKIP() << "no other account can own a file here";
    }
    ScriptMachineBeforeStart();

    EXPECT_EQ(Run({L"stop", L"203.0.113.7"}), 7);
    EXPECT_TRUE(system.commands.empty());
    EXPECT_EQ(system.logs.back(), L"RETURN 7: state file missing on stop");
    EXPECT_TRUE(StateFileExists());

    system.ClearRecords();
    EXPECT_EQ(Run({L"start", L"203.0.113.7"}), 0);
    // No undo: the first command is the tunnel lookup, and neither address of
    // the planted file reaches any command line.
    EXPECT_EQ(system.commands.front(), kNetsh);
    for (const auto& command : system.commands) {
        EXPECT_EQ(command.find(L"192.168.1.66"), std::wstring::npos) << command;
        EXPECT_EQ(command.find(L"198.51.100.9"), std::wstring::npos) << command;
    }
    // The record of this start replaced the planted file, so stop restores
    // the real route.
    ExpectSameState(LoadedState(), kSavedState);

    system.ClearRecords();
    ScriptMachineTunnelUp();
    EXPECT_EQ(Run({L"stop", L"203.0.113.7"}), 0);
    EXPECT_THAT(system.commands, ::testing::Contains(kRestoreDefault));
    EXPECT_FALSE(StateFileExists());
}

// Any user may create a folder at the state file's path. Without a record
// that stop can read, start must leave every route alone.
TEST_F(SequenceTest, StartChangesNoRouteWhenTheStateCannotBeSaved) {
    // Its directory is missing. (A folder at the path itself is moved aside:
    // route_state_test.)
    const std::filesystem::path path = stateFile.Directory() / "missing" / "state.txt";
    FakeControlSystem unwritable(path.wstring());
    unwritable.Script(kNetsh, {kNetshWithTunnel});
    unwritable.Script(kRoutePrint, {kRoutePrintBeforeStart});
    unwritable.Script(kUplinkQuery, {kPowerShellIndex12});
    for (const auto& command :
         {kAddBypass, kAddTunnelDefault, kDeleteWifiDefault, kDeleteEthernetDefault}) {
        unwritable.Script(command, {kRouteOk});
    }

    EXPECT_EQ(RunStart(unwritable, L"203.0.113.7", unwritable.MonotonicMs()), 11);
    EXPECT_THAT(unwritable.commands, ElementsAre(kNetsh, kRoutePrint, kUplinkQuery));
    EXPECT_THAT(std::vector<std::wstring>(unwritable.trace.end() - 2, unwritable.trace.end()),
                ElementsAre(L"log: Delete State Done", L"log: RETURN 11: save state failed"));
    EXPECT_THAT(unwritable.logs, ::testing::Not(::testing::Contains(L"Save State Done")));

    unwritable.ClearRecords();
    EXPECT_EQ(RunStop(unwritable), 7);
    EXPECT_TRUE(unwritable.commands.empty());
}

}  // namespace
}  // namespace netsteer::testing
