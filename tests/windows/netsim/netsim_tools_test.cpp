#include <gtest/gtest.h>

#include "tools/netsim/netsim_control.h"
#include "tools/netsim/netsim_render.h"
#include "tools/netsim/netsim_tools.h"

namespace netsim {
namespace {

const std::vector<std::wstring> kShowInterfaces{L"interface", L"ipv4", L"show", L"interfaces"};

Machine Home() {
    Machine machine;
    EXPECT_TRUE(MakeScenario(L"home", machine));
    return machine;
}

std::vector<std::wstring> Query(const std::wstring& address) {
    return {L"-NoProfile", L"-WindowStyle", L"Hidden", L"-Command", UplinkQueryScript(address)};
}

// The addresses query as netsteer composes it, for the index given as text.
std::vector<std::wstring> AddressQuery(const std::wstring& index) {
    return {L"-NoProfile", L"-WindowStyle", L"Hidden", L"-Command",
            L"Get-NetIPAddress -AddressFamily IPv4 -InterfaceIndex " + index +
                L" -ErrorAction SilentlyContinue | Select-Object -ExpandProperty IPAddress"};
}

TEST(RunNetsh, TunnelAppearsAfterTheGivenNumberOfListings) {
    Machine machine = Home();
    ASSERT_EQ(RunControl(machine, {L"tunnel-after", L"2"}).exitCode, 0);
    for (int listing = 1; listing <= 4; ++listing) {
        SCOPED_TRACE(listing);
        const ToolResult result = RunNetsh(machine, kShowInterfaces);
        const bool listed = result.out.find(L"velk_vpn0") != std::wstring::npos;
        EXPECT_EQ(listed, listing >= 3);
        // The adapter's routes and address come with it.
        EXPECT_EQ(FindInterfaceByAddress(machine, L"10.8.0.2") != nullptr, listing >= 3);
    }
    EXPECT_EQ(machine.interfaceListings, 4);
}

TEST(RunNetsh, OtherCommandsAreNotFound) {
    Machine machine = Home();
    const ToolResult result = RunNetsh(machine, {L"interface", L"ipv6", L"show", L"interfaces"});
    EXPECT_EQ(result.out,
              L"The following command was not found: interface ipv6 show interfaces.\r\n");
    EXPECT_EQ(machine.interfaceListings, 0);
}

TEST(RunPowerShell, AnswersOnlyTheInterfaceQueries) {
    struct Case {
        const wchar_t* name;
        std::vector<std::wstring> args;
        const wchar_t* out;
        bool error;
    };
    std::vector<std::wstring> split = {L"-NoProfile", L"-WindowStyle", L"Hidden", L"-Command"};
    // Without the quotes the script arrives as many words; PowerShell joins them.
    const std::wstring script = UplinkQueryScript(L"192.168.1.23");
    for (std::size_t start = 0, blank; start < script.size(); start = blank + 1) {
        blank = script.find(L' ', start);
        if (blank == std::wstring::npos) {
            blank = script.size();
        }
        split.push_back(script.substr(start, blank - start));
    }
    std::vector<std::wstring> noHidden = Query(L"192.168.1.23");
    noHidden.erase(noHidden.begin() + 1, noHidden.begin() + 3);
    const Case cases[] = {
        {L"uplink address", Query(L"192.168.1.23"), L"12\r\n", false},
        {L"loopback address", Query(L"127.0.0.1"), L"1\r\n", false},
        {L"unknown address", Query(L"192.168.1.99"), L"", false},
        {L"addresses of an interface", AddressQuery(L"12"), L"192.168.1.23\r\n", false},
        {L"addresses of an unknown interface", AddressQuery(L"99"), L"", false},
        {L"addresses of an index that is no number", AddressQuery(L"1x"), L"", true},
        {L"address in other case of quoting", split, L"12\r\n", false},
        {L"options missing", noHidden, L"", true},
        {L"another cmdlet", {L"-NoProfile", L"-Command", L"Get-NetRoute"}, L"", true},
        {L"nothing", {}, L"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine = Home();
        const ToolResult result = RunPowerShell(machine, c.args);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(!result.err.empty(), c.error);
    }
}

TEST(TakeInjectedFailure, MatchesByTextAndIsUsedUp) {
    Machine machine = Home();
    ASSERT_EQ(RunControl(machine, {L"fail", L"route add 0.0.0.0", L"exists", L"1"}).exitCode, 0);
    ASSERT_EQ(RunControl(machine, {L"fail", L"powershell", L"silent"}).exitCode, 0);
    ToolResult result;
    EXPECT_FALSE(TakeInjectedFailure(machine, L"route", {L"add", L"203.0.113.7"}, result));
    ASSERT_TRUE(TakeInjectedFailure(machine, L"route",
                                    {L"ADD", L"0.0.0.0", L"mask", L"0.0.0.0", L"0.0.0.0"}, result));
    EXPECT_EQ(result.out, L"The route addition failed: The object already exists.\r\n\r\n");
    EXPECT_FALSE(TakeInjectedFailure(machine, L"route", {L"add", L"0.0.0.0"}, result));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(TakeInjectedFailure(machine, L"powershell", Query(L"192.168.1.23"), result));
        EXPECT_EQ(result.out, L"");
        EXPECT_EQ(result.err, L"");
    }
    ASSERT_EQ(machine.failures.size(), 1u);
    RunControl(machine, {L"clear-failures"});
    EXPECT_FALSE(TakeInjectedFailure(machine, L"powershell", Query(L"192.168.1.23"), result));
}

TEST(RunControl, RefusesWhatItDoesNotKnow) {
    const std::vector<std::vector<std::wstring>> refused = {
        {},
        {L"reset", L"office"},
        {L"tunnel-after", L"soon"},
        {L"fail", L"route"},
        {L"fail", L"route", L"exists", L"0"},
        {L"language", L"xx"},
        {L"show", L"all"},
        {L"delay"},
        {L"delay", L"-5"},
        {L"delay", L"60001"},
        {L"reboot", L"now"},
        {L"move"},
        {L"move", L"work"},
        {L"move", L"office", L"now"},
    };
    for (const auto& args : refused) {
        Machine machine = Home();
        const std::wstring before = SerializeMachine(machine);
        const ToolResult result = RunControl(machine, args);
        EXPECT_EQ(result.exitCode, 2) << JoinCommandLine(L"netsim", args);
        EXPECT_NE(result.err.find(L"usage: netsim"), std::wstring::npos);
        EXPECT_EQ(SerializeMachine(machine), before);
    }
}

TEST(RunControl, TunnelUpAndDownBringTheRoutesAlong) {
    Machine machine = Home();
    const std::size_t homeRoutes = machine.routes.size();
    RunControl(machine, {L"tunnel-up"});
    EXPECT_EQ(machine.routes.size(), homeRoutes + 5);
    machine.routes.push_back(Route{L"0.0.0.0", L"0.0.0.0", kOnLink, 45, 1, false});
    RunControl(machine, {L"tunnel-down"});
    EXPECT_EQ(machine.routes.size(), homeRoutes);
    EXPECT_EQ(FindInterface(machine, 45), nullptr);
}

TEST(StateFile, RoundTripKeepsEverything) {
    Machine machine = Home();
    RunControl(machine, {L"tunnel-after", L"3"});
    RunControl(machine,
               {L"fail", L"route delete", L"The requested operation requires elevation.", L"2"});
    RunControl(machine, {L"language", L"de"});
    ASSERT_EQ(RunControl(machine, {L"delay", L"60000"}).exitCode, 0);
    machine.routes.push_back(Route{L"10.20.0.0", L"255.255.0.0", L"192.168.1.1", 12, 7, true});
    machine.journal.push_back(L"route print -4");
    machine.interfaces[0].name = L"Ethernet \u00C4 2";
    machine.interfaceListings = 5;

    Machine read;
    std::wstring error;
    ASSERT_TRUE(ParseMachine(SerializeMachine(machine), read, error)) << error;
    EXPECT_EQ(SerializeMachine(read), SerializeMachine(machine));
    EXPECT_EQ(RenderMachine(read), RenderMachine(machine));
    EXPECT_TRUE(read.tunnelPending);
    EXPECT_EQ(read.tunnelCountdown, 3);
    EXPECT_EQ(read.failures.at(0).remaining, 2);
    EXPECT_EQ(read.toolDelayMs, 60000);
}

TEST(StateFile, DamagedRecordsAreRejectedWithTheLine) {
    const wchar_t* damaged[] = {
        L"route\t0.0.0.0\t0.0.0.0\t192.168.1\t12\t0\tactive\n",
        L"route\t0.0.0.0\t0.0.0.0\t192.168.1.1\t12\t0\n",
        L"interface\t12\t25\t1500\tup\t-\t192.168.1.23\t255.255.255.0\tEthernet\tIntel\n",
        L"interface\t12\t25\t1500\tconnected\t-\t192.168.1.23\t255.255.255.0\tEthernet\tIntel\t"
        L"192.168.1\n",
        L"fail\tmany\troute\tno\n",
        L"delay\t60001\n",
        L"colour\tblue\n",
    };
    for (const wchar_t* text : damaged) {
        Machine machine;
        std::wstring error;
        EXPECT_FALSE(ParseMachine(std::wstring(L"# machine\n") + text, machine, error)) << text;
        EXPECT_EQ(error.rfind(L"line 2:", 0), 0u) << error;
    }
}

TEST(StateFile, AnInterfaceRecordWithoutItsGatewayStillLoads) {
    Machine machine;
    std::wstring error;
    ASSERT_TRUE(
        ParseMachine(L"interface\t12\t25\t1500\tconnected\t-\t192.168.1.23\t"
                     L"255.255.255.0\tEthernet\tIntel\n",
                     machine, error))
        << std::string(error.begin(), error.end());
    ASSERT_EQ(machine.interfaces.size(), 1u);
    EXPECT_EQ(machine.interfaces[0].gateway, L"");
    EXPECT_EQ(machine.interfaces[0].description, L"Intel");
}

TEST(Ipv4Text, OnlyFourDecimalPartsUpTo255) {
    std::uint32_t value = 0;
    EXPECT_TRUE(ParseIpv4(L"192.168.1.23", value));
    EXPECT_EQ(value, 0xC0A80117u);
    EXPECT_EQ(FormatIpv4(value), L"192.168.1.23");
    for (const wchar_t* bad : {L"", L"1.2.3", L"1.2.3.4.5", L"256.1.1.1", L"1.2.3.4 ", L"1..2.3",
                               L"0001.2.3.4", L"a.b.c.d", L"-1.2.3.4"}) {
        EXPECT_FALSE(ParseIpv4(bad, value)) << bad;
    }
}

}  // namespace
}  // namespace netsim
