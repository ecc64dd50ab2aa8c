// "netsim reboot" and "netsim move": the table a restart leaves, on the same
// network and on another one.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/netsim/netsim_control.h"
#include "tools/netsim/netsim_reboot.h"
#include "tools/netsim/netsim_render.h"
#include "tools/netsim/netsim_tools.h"

namespace netsim {
namespace {

// Runs "netsim ..." or "route ..." lines on `machine`; each must succeed.
void Run(Machine& machine, const std::vector<std::wstring>& lines) {
    for (const std::wstring& line : lines) {
        std::wistringstream in(line);
        std::vector<std::wstring> words;
        for (std::wstring word; in >> word;) {
            words.push_back(word);
        }
        const std::wstring tool = words.front();
        words.erase(words.begin());
        const ToolResult result =
            tool == L"netsim" ? RunControl(machine, words) : RunRoute(machine, words);
        ASSERT_EQ(result.exitCode, 0) << std::string(line.begin(), line.end());
    }
}

Machine After(const std::vector<std::wstring>& lines) {
    Machine machine;
    Run(machine, lines);
    return machine;
}

// What a `start` of netsteer leaves on the home machine.
const std::vector<std::wstring> kRoutedHome = {
    L"netsim reset home",
    L"netsim tunnel-up",
    L"route add 203.0.113.7 mask 255.255.255.255 192.168.1.1 if 12 metric 1",
    L"route delete 0.0.0.0 mask 0.0.0.0 192.168.1.1",
    L"route add 0.0.0.0 mask 0.0.0.0 0.0.0.0 if 45 metric 1",
};

std::vector<std::wstring> Then(std::vector<std::wstring> lines,
                               const std::vector<std::wstring>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

TEST(Reboot, LeavesTheTableOfAFreshStartOnItsNetwork) {
    struct Case {
        const char* name;
        std::vector<std::wstring> lines;
        std::vector<std::wstring> expected;  // a machine made without the restart
    };
    const std::wstring persistent = L"route -p add 10.20.0.0 mask 255.255.0.0 192.168.1.1 if 12";
    const Case cases[] = {
        {"routed into the tunnel", Then(kRoutedHome, {L"netsim reboot"}), {L"netsim reset home"}},
        {"persistent routes stay, others go",
         {L"netsim reset home", persistent,
          L"route add 10.30.0.0 mask 255.255.0.0 192.168.1.1 if 12", L"netsim reboot"},
         {L"netsim reset home", persistent}},
        {"a pending tunnel never comes",
         {L"netsim reset home", L"netsim tunnel-after 2", L"netsim reboot"},
         {L"netsim reset home"}},
        {"both uplinks get their default route back",
         {L"netsim reset two-uplinks", L"route delete 0.0.0.0 mask 0.0.0.0 192.168.1.1",
          L"route delete 0.0.0.0 mask 0.0.0.0 192.168.50.254", L"netsim reboot"},
         {L"netsim reset two-uplinks"}},
        {"moved while routed: as moved from a fresh machine",
         Then(kRoutedHome, {L"netsim move office"}),
         {L"netsim reset home", L"netsim move office"}},
        {"moved to the office and back home",
         Then(kRoutedHome, {L"netsim move office", L"netsim move home"}),
         {L"netsim reset home"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Machine machine = After(c.lines);
        const Machine expected = After(c.expected);
        EXPECT_EQ(RenderMachine(machine), RenderMachine(expected));
        EXPECT_EQ(RenderRoutePrint(machine), RenderRoutePrint(expected));
    }
}

TEST(Move, PutsEthernetOnTheOfficeNetworkWithItsDefaultRoute) {
    Machine machine = After(Then(kRoutedHome, {L"netsim move office"}));

    const Interface* ethernet = FindInterface(machine, 12);
    ASSERT_NE(ethernet, nullptr);
    EXPECT_EQ(ethernet->address, L"172.20.4.61");
    EXPECT_EQ(ethernet->mask, L"255.255.255.0");
    EXPECT_EQ(ethernet->gateway, L"172.20.4.1");
    EXPECT_EQ(FindInterface(machine, 45), nullptr);
    const std::wstring listing = RenderRoutePrint(machine, L"0.0.0.0");
    EXPECT_NE(listing.find(L"          0.0.0.0          0.0.0.0       172.20.4.1      172.20.4.61"
                           L"     25\r\n"),
              std::wstring::npos)
        << std::string(listing.begin(), listing.end());
    EXPECT_EQ(RenderRoutePrint(machine).find(L"192.168.1."), std::wstring::npos);
    EXPECT_EQ(RunPowerShell(machine, {L"-NoProfile", L"-WindowStyle", L"Hidden", L"-Command",
                                      UplinkQueryScript(L"172.20.4.61")})
                  .out,
              L"12\r\n");
    // The home gateway is out of reach now: putting its route back is refused.
    const ToolResult restore = RunRoute(machine, {L"add", L"0.0.0.0", L"mask", L"0.0.0.0",
                                                  L"192.168.1.1", L"if", L"12", L"metric", L"25"});
    EXPECT_EQ(restore.exitCode, 1);
    EXPECT_NE(restore.out.find(L"the gateway does not lie on the same network"),
              std::wstring::npos);
}

TEST(Move, RefusedWithoutAnEthernetAdapter) {
    Machine machine;
    ASSERT_TRUE(MakeScenario(L"home", machine));
    RemoveInterface(machine, 12);
    const std::wstring before = SerializeMachine(machine);
    const ToolResult result = RunControl(machine, {L"move", L"office"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(SerializeMachine(machine), before);
}

}  // namespace
}  // namespace netsim
