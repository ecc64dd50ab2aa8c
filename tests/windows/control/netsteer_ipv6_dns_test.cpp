// The built netsteer.exe steering IPv6 and DNS on the simulated machine:
// routed, names go to the tunnel's server through the tunnel and IPv6 takes
// the tunnel; stopped, or restarted and then restored, IPv6 routes, NRPT
// rules and the resolver's answer are as before, and IPv4 as netsteer always
// left it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/windows/control/netsteer_on_netsim.h"
#include "tools/netsim/netsim_ipv6_dns.h"

namespace netsteer::testing {
namespace {

constexpr wchar_t kName[] = L"www.example.com";

TEST_F(NetsteerOnTheSimulator, Ipv6AndDnsGoThroughTheTunnelUntilStopped) {
    RunSteps({L"tunnel-up", L"start 10.8.0.1"});
    const netsim::Machine routed = Machine();
    EXPECT_EQ(netsim::Resolve(routed, kName).out,
              L"www.example.com: server 10.8.0.1 on interface 45 (velk_vpn0) by nrpt\r\n");
    EXPECT_EQ(netsim::RenderIpv6AndDns(routed),
              L"::/0 if 12 via fe80::1 active\r\n"
              L"::/1 if 45 via :: active\r\n"
              L"8000::/1 if 45 via :: active\r\n"
              L"nrpt . servers 10.8.0.1 comment VelkVPN\r\n");
}

TEST_F(NetsteerOnTheSimulator, StopAndRestoreAfterARestartLeaveTheMachineAsBefore) {
    const struct {
        const char* name;
        std::vector<std::wstring> steps;
    } cases[] = {
        {"stopped", {L"tunnel-up", L"start 10.8.0.1,1.1.1.1", L"stop", L"tunnel-down"}},
        {"restarted, then restored", {L"tunnel-up", L"start 10.8.0.1", L"reboot", L"stop"}},
        {"started twice, then stopped",
         {L"tunnel-up", L"start 10.8.0.1", L"start 10.8.0.1", L"stop", L"tunnel-down"}},
    };
    // IPv4 as netsteer leaves it without IPv6 and DNS: the restored default
    // route carries netsteer's metric.
    RunSteps({L"tunnel-up", L"start", L"stop", L"tunnel-down"});
    const std::wstring ipv4After = RouteTable();
    RunSteps({});
    const netsim::Machine before = Machine();
    ASSERT_EQ(netsim::Resolve(before, kName).out,
              L"www.example.com: server 192.168.1.1 on interface 12 (Ethernet) by interface\r\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunSteps(c.steps);
        const netsim::Machine after = Machine();
        EXPECT_EQ(netsim::RenderRoutePrint(after), ipv4After);
        EXPECT_EQ(netsim::RenderIpv6AndDns(after), netsim::RenderIpv6AndDns(before));
        EXPECT_EQ(netsim::Resolve(after, kName).out, netsim::Resolve(before, kName).out);
    }
}

// A rule left from a run whose record is gone outlives the restart; the
// service's `clear-dns` at its start removes it.
TEST_F(NetsteerOnTheSimulator, ClearDnsRemovesATaggedRuleWithoutARecord) {
    RunSteps({L"tunnel-up", L"start 10.8.0.1", L"reboot"});
    DeleteFileW(kStateFilePath);
    ASSERT_EQ(Machine().nrptRules.size(), 1u);
    EXPECT_EQ(RunNetsteer(L"clear-dns"), 0);
    EXPECT_TRUE(Machine().nrptRules.empty());
}

}  // namespace
}  // namespace netsteer::testing
