// The IPv6 and DNS part of start and stop: the commands for each record, the
// DNS argument, the record written before anything is added, and the undo
// that a stop, the next start and `clear-dns` run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netsteer/control/helper_entry.h"
#include "netsteer/control/ipv6_dns_steering.h"
#include "netsteer/control/route_state.h"
#include "tests/unit/control/control_fixtures.h"
#include "tests/unit/control/fake_control_system.h"

namespace netsteer::testing {
namespace {

const std::wstring kAddLow = L"netsh interface ipv6 add route ::/1 interface=45 store=active";
const std::wstring kAddHigh = L"netsh interface ipv6 add route 8000::/1 interface=45 store=active";
const std::wstring kDeleteLow = L"netsh interface ipv6 delete route ::/1 interface=45 store=active";
const std::wstring kDeleteHigh =
    L"netsh interface ipv6 delete route 8000::/1 interface=45 store=active";
const std::wstring kAddRuleTwo =
    L"powershell -NoProfile -WindowStyle Hidden -Command \"Add-DnsClientNrptRule -Namespace '.' "
    L"-NameServers '10.8.0.1','1.1.1.1' -Comment 'VelkVPN'\"";
const std::wstring kRemoveRules =
    L"powershell -NoProfile -WindowStyle Hidden -Command \"Get-DnsClientNrptRule | Where-Object "
    L"{$_.Comment -eq 'VelkVPN'} | Remove-DnsClientNrptRule -Force\"";
const std::wstring kFlush = L"ipconfig /flushdns";

TEST(Ipv6DnsPlan, CommandsForEachRecord) {
    struct Case {
        const char* name;
        std::vector<std::wstring> dns;
        std::int32_t recordedIndex;
        bool recordedRule;
        std::vector<std::wstring> steer;
        std::vector<std::wstring> undo;
    };
    const Case cases[] = {
        {"no DNS server: IPv6 only", {}, 45, false, {kAddLow, kAddHigh}, {kDeleteLow, kDeleteHigh}},
        {"two servers",
         {L"10.8.0.1", L"1.1.1.1"},
         45,
         true,
         {kAddLow, kAddHigh, kAddRuleTwo, kFlush},
         {kDeleteLow, kDeleteHigh, kRemoveRules, kFlush}},
        {"a record of today's format", {}, 0, false, {kAddLow, kAddHigh}, {}},
        {"a rule recorded without routes",
         {},
         0,
         true,
         {kAddLow, kAddHigh},
         {kRemoveRules, kFlush}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SteerIpv6DnsCommands(45, c.dns), c.steer);
        RouteState saved{L"192.168.1.1", 12, L"203.0.113.7", c.recordedIndex, c.recordedRule};
        EXPECT_EQ(UndoIpv6DnsCommands(saved), c.undo);
    }
}

// Reads the state file as the first IPv6 or DNS change runs: the record of
// that part must already be there.
class RecordCheckingSystem : public FakeControlSystem {
  public:
    using FakeControlSystem::FakeControlSystem;
    velk::Win32Result<std::wstring> RunCommand(const std::wstring& command) override {
        const bool firstNewChange = !sawNewChange && (command == kAddLow || command == kAddRuleTwo);
        if (firstNewChange) {
            sawNewChange = true;
            recordedBefore = LoadState(StateFilePath(), stateBefore);
        }
        return FakeControlSystem::RunCommand(command);
    }
    bool sawNewChange = false;
    bool recordedBefore = false;
    RouteState stateBefore;
};

class Ipv6DnsSequenceTest : public ::testing::Test {
  protected:
    Ipv6DnsSequenceTest() : system(stateFile.Path()) {
        system.Resolve(L"203.0.113.7", L"203.0.113.7");
        system.Script(L"netsh interface ipv4 show interfaces", {kNetshWithTunnel});
        system.Script(L"route print -4", {kRoutePrintBeforeStart});
        system.Script(UplinkIndexQuery(), {kPowerShellIndex12});
        for (const wchar_t* command :
             {L"route add 203.0.113.7 mask 255.255.255.255 192.168.1.1 if 12 metric 1",
              L"route add 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45 metric 1",
              L"route delete 0.0.0.0 mask 0.0.0.0 10.0.0.1",
              L"route delete 0.0.0.0 mask 0.0.0.0 192.168.1.1",
              L"route add 0.0.0.0 mask 0.0.0.0 192.168.1.1 if 12 metric 25"}) {
            system.Script(command, {kRouteOk});
        }
    }

    static std::wstring UplinkIndexQuery() {
        return L"powershell -NoProfile -WindowStyle Hidden -Command \"$x = Get-NetIPAddress "
               L"-AddressFamily IPv4 | Where-Object {$_.IPAddress -eq '192.168.1.23'} | "
               L"Select-Object -First 1 -ExpandProperty InterfaceIndex; if ($x) { Write-Output $x "
               L"}\"";
    }

    int Run(const std::vector<std::wstring>& args) {
        std::vector<const wchar_t*> argv{L"netsteer.exe"};
        for (const auto& arg : args) {
            argv.push_back(arg.c_str());
        }
        return HelperMain(system, static_cast<int>(argv.size()), argv.data());
    }

    // The commands from the first one that is not an IPv4 one.
    std::vector<std::wstring> NewCommands() const {
        std::vector<std::wstring> found;
        for (const auto& command : system.commands) {
            if (command.rfind(L"route ", 0) != 0 && command.find(L"ipv4") == std::wstring::npos &&
                command.find(L"Get-NetIPAddress") == std::wstring::npos) {
                found.push_back(command);
            }
        }
        return found;
    }

    TempStateFile stateFile;
    RecordCheckingSystem system;
};

TEST_F(Ipv6DnsSequenceTest, StartRecordsBeforeAddingAndStopUndoesIt) {
    EXPECT_EQ(Run({L"start", L"203.0.113.7", L"10.8.0.1,1.1.1.1"}), 0);
    EXPECT_EQ(NewCommands(), (std::vector<std::wstring>{kAddLow, kAddHigh, kAddRuleTwo, kFlush}));
    ASSERT_TRUE(system.recordedBefore);
    EXPECT_EQ(system.stateBefore.ipv6TunnelIndex, 45);
    EXPECT_TRUE(system.stateBefore.nrptRule);

    system.ClearRecords();
    system.Script(L"route print -4", {kRoutePrintTunnelUp});
    EXPECT_EQ(Run({L"stop", L"203.0.113.7"}), 0);
    EXPECT_EQ(NewCommands(),
              (std::vector<std::wstring>{kDeleteLow, kDeleteHigh, kRemoveRules, kFlush}));
}

TEST_F(Ipv6DnsSequenceTest, ARecordThatCannotBeWrittenAddsNothingNew) {
    // The state file's folder is gone: the record cannot be written.
    const RouteState ipv4Only{L"192.168.1.1", 12, L"203.0.113.7"};
    FakeControlSystem unwritable((stateFile.Directory() / "missing" / "state.txt").wstring());
    SteerIpv6AndDns(unwritable, ipv4Only, 45, {L"10.8.0.1"});
    EXPECT_TRUE(unwritable.commands.empty());
    EXPECT_EQ(unwritable.logs,
              std::vector<std::wstring>{L"Save State For IPv6 And DNS Failed: IPv6 and DNS not "
                                        L"steered"});
}

TEST_F(Ipv6DnsSequenceTest, NextStartUndoesALeftoverRuleBeforeAddingItsOwn) {
    ASSERT_TRUE(SaveState(stateFile.Path(), {L"192.168.1.1", 12, L"203.0.113.7", 45, true}));
    EXPECT_EQ(Run({L"start", L"203.0.113.7"}), 0);
    EXPECT_EQ(NewCommands(), (std::vector<std::wstring>{kDeleteLow, kDeleteHigh, kRemoveRules,
                                                        kFlush, kAddLow, kAddHigh}));
    RouteState after;
    ASSERT_TRUE(LoadState(stateFile.Path(), after));
    EXPECT_FALSE(after.nrptRule);
}

TEST_F(Ipv6DnsSequenceTest, BadDnsArgumentIsABadCommandLineAndOthersIgnoreIt) {
    EXPECT_EQ(Run({L"start", L"203.0.113.7", L"10.8.0.1 & calc"}), 1);
    EXPECT_TRUE(system.trace.empty());
    ASSERT_TRUE(SaveState(stateFile.Path(), {L"192.168.1.1", 12, L"203.0.113.7"}));
    system.Script(L"route print -4", {kRoutePrintTunnelUp});
    EXPECT_EQ(Run({L"stop", L"203.0.113.7", L"not a list"}), 0);
}

TEST_F(Ipv6DnsSequenceTest, ClearDnsRemovesTaggedRulesWithoutAHostOrRecord) {
    EXPECT_EQ(Run({L"clear-dns"}), 0);
    EXPECT_EQ(system.commands, (std::vector<std::wstring>{kRemoveRules, kFlush}));
    EXPECT_EQ(system.logs, std::vector<std::wstring>{L"Clear Tagged DNS Rules Done"});
}

}  // namespace
}  // namespace netsteer::testing
