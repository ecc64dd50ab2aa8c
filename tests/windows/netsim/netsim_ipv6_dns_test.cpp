// The simulator's IPv6 routes, NRPT rules and resolver: netsh's answers in
// every language, the cmdlets as netsteer writes them, what a restart keeps,
// and which server a name is asked of.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/netsim/netsim_control.h"
#include "tools/netsim/netsim_ipv6_dns.h"
#include "tools/netsim/netsim_languages.h"
#include "tools/netsim/netsim_reboot.h"
#include "tools/netsim/netsim_tools.h"

namespace netsim {
namespace {

Machine HomeWithTunnel() {
    Machine machine;
    EXPECT_TRUE(MakeScenario(L"home", machine));
    EXPECT_EQ(RunControl(machine, {L"tunnel-up"}).exitCode, 0);
    return machine;
}

std::vector<std::wstring> RouteChange(const wchar_t* verb, const wchar_t* prefix,
                                      const wchar_t* index) {
    return {L"interface",   L"ipv6", verb, L"route", prefix, std::wstring(L"interface=") + index,
            L"store=active"};
}

std::vector<std::wstring> PowerShell(const std::wstring& script) {
    return {L"-NoProfile", L"-WindowStyle", L"Hidden", L"-Command", script};
}

const std::wstring kAddRule =
    L"Add-DnsClientNrptRule -Namespace '.' -NameServers '10.8.0.1','1.1.1.1' -Comment 'VelkVPN'";
const std::wstring kRemoveRules =
    L"Get-DnsClientNrptRule | Where-Object {$_.Comment -eq 'VelkVPN'} | Remove-DnsClientNrptRule "
    L"-Force";

TEST(NetshIpv6Route, AnswersEachChangeInEveryLanguage) {
    for (const wchar_t* code : {L"en", L"de", L"ru", L"zh", L"es", L"fr"}) {
        SCOPED_TRACE(std::wstring(code));
        Machine machine = HomeWithTunnel();
        machine.language = code;
        const Language& language = *FindLanguage(code);
        const auto answer = [](const wchar_t* text) { return std::wstring(text) + L"\r\n\r\n"; };
        const struct {
            std::vector<std::wstring> args;
            std::wstring out;
            int exitCode;
        } steps[] = {
            {RouteChange(L"add", L"::/1", L"45"), answer(language.netshOk), 0},
            {RouteChange(L"add", L"::/1", L"45"), answer(language.netshExists), 1},
            {RouteChange(L"add", L"8000::/1", L"99"), answer(language.netshNotFound), 1},
            {RouteChange(L"delete", L"::/1", L"45"), answer(language.netshOk), 0},
            {RouteChange(L"delete", L"::/1", L"45"), answer(language.netshNotFound), 1},
        };
        for (const auto& step : steps) {
            const ToolResult result = RunNetsh(machine, step.args);
            EXPECT_EQ(result.out, step.out);
            EXPECT_EQ(result.exitCode, step.exitCode);
        }
        EXPECT_EQ(RenderIpv6AndDns(machine), L"::/0 if 12 via fe80::1 active\r\n");
    }
}

TEST(NetshIpv6Route, ARestartDropsTheActiveStoreAndKeepsRulesAndPersistentRoutes) {
    Machine machine = HomeWithTunnel();
    RunNetsh(machine, RouteChange(L"add", L"::/1", L"45"));
    RunNetsh(machine, {L"interface", L"ipv6", L"add", L"route", L"2001:db8::/32", L"interface=12",
                       L"store=persistent"});
    ASSERT_EQ(RunPowerShell(machine, PowerShell(kAddRule)).exitCode, 0);
    Reboot(machine);
    EXPECT_EQ(RenderIpv6AndDns(machine),
              L"2001:db8::/32 if 12 via :: persistent\r\n"
              L"::/0 if 12 via fe80::1 active\r\n"
              L"nrpt . servers 10.8.0.1,1.1.1.1 comment VelkVPN\r\n");
    Machine reread;
    std::wstring error;
    ASSERT_TRUE(ParseMachine(SerializeMachine(machine), reread, error)) << error;
    EXPECT_EQ(RenderIpv6AndDns(reread), RenderIpv6AndDns(machine));
}

TEST(NrptCmdlets, AddListAndRemoveByComment) {
    Machine machine = HomeWithTunnel();
    machine.nrptRules.push_back(NrptRule{L".corp.example", {L"192.168.1.53"}, L"Office"});
    ASSERT_EQ(RunPowerShell(machine, PowerShell(kAddRule)).out, L"");
    const ToolResult listed = RunPowerShell(machine, PowerShell(L"Get-DnsClientNrptRule"));
    EXPECT_NE(listed.out.find(L"NameServers                      : 10.8.0.1,1.1.1.1\r\n"),
              std::wstring::npos);
    EXPECT_NE(listed.out.find(L"Comment                          : VelkVPN\r\n"),
              std::wstring::npos);
    ASSERT_EQ(RunPowerShell(machine, PowerShell(kRemoveRules)).exitCode, 0);
    EXPECT_EQ(RenderIpv6AndDns(machine),
              L"::/0 if 12 via fe80::1 active\r\nnrpt .corp.example servers 192.168.1.53 comment "
              L"Office\r\n");
    // A rule naming something that is no address is not taken.
    EXPECT_NE(RunPowerShell(machine, PowerShell(L"Add-DnsClientNrptRule -Namespace '.' "
                                                L"-NameServers 'dns.example' -Comment 'VelkVPN'"))
                  .exitCode,
              0);
}

TEST(Resolver, NrptFirstElseTheDefaultRouteInterfacesServers) {
    const struct {
        const char* caseName;
        std::vector<NrptRule> rules;
        const wchar_t* query;
        const wchar_t* out;
    } cases[] = {
        {"home",
         {},
         L"a.example",
         L"a.example: server 192.168.1.1 on interface 12 (Ethernet) by interface\r\n"},
        {"catch-all rule",
         {{L".", {L"10.8.0.1"}, L"VelkVPN"}},
         L"a.example",
         L"a.example: server 10.8.0.1 on interface 45 (velk_vpn0) by nrpt\r\n"},
        {"longer namespace wins",
         {{L".", {L"10.8.0.1"}, L"VelkVPN"}, {L".corp.example", {L"192.168.1.53"}, L""}},
         L"intra.corp.example",
         L"intra.corp.example: server 192.168.1.53 on interface 12 (Ethernet) by nrpt\r\n"},
        {"namespace that does not hold the name",
         {{L".corp.example", {L"192.168.1.53"}, L""}},
         L"notcorp.example",
         L"notcorp.example: server 192.168.1.1 on interface 12 (Ethernet) by interface\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caseName);
        Machine machine = HomeWithTunnel();
        machine.nrptRules = c.rules;
        EXPECT_EQ(RunControl(machine, {L"resolve", c.query}).out, c.out);
    }
    // Without a rule, the servers of the interface with the best default
    // route: the tunnel's once IPv4 is routed into it.
    Machine routed = HomeWithTunnel();
    ASSERT_EQ(
        RunRoute(routed, {L"delete", L"0.0.0.0", L"mask", L"0.0.0.0", L"192.168.1.1"}).exitCode, 0);
    ASSERT_EQ(RunRoute(routed, {L"add", L"0.0.0.0", L"mask", L"0.0.0.0", L"0.0.0.0", L"if", L"45",
                                L"metric", L"1"})
                  .exitCode,
              0);
    EXPECT_EQ(Resolve(routed, L"a.example").out,
              L"a.example: server 10.8.0.1 on interface 45 (velk_vpn0) by interface\r\n");
}

}  // namespace
}  // namespace netsim
