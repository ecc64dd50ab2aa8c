// The DNS servers of `start`: what goes into the NRPT rule's command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netsteer/machine/dns_server_list.h"

namespace netsteer {
namespace {

TEST(DnsServerList, IsOneToFourPlainAddresses) {
    const struct {
        const wchar_t* text;
        std::vector<std::wstring> servers;  // empty: refused
    } cases[] = {
        {L"10.8.0.1", {L"10.8.0.1"}},
        {L"10.8.0.1,1.1.1.1", {L"10.8.0.1", L"1.1.1.1"}},
        {L"1.1.1.1,1.0.0.1,8.8.8.8,8.8.4.4", {L"1.1.1.1", L"1.0.0.1", L"8.8.8.8", L"8.8.4.4"}},
        {L"1.1.1.1,1.0.0.1,8.8.8.8,8.8.4.4,9.9.9.9", {}},
        {L"", {}},
        {L"10.8.0.1,", {}},
        {L",10.8.0.1", {}},
        {L"10.8.0.1, 1.1.1.1", {}},
        {L"10.8.0.1';calc;'", {}},
        {L"fd00::1", {}},
        {L"dns.example.com", {}},
        {L"010.8.0.1", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> servers{L"untouched"};
        const bool accepted = ParseDnsServers(c.text, servers);
        EXPECT_EQ(accepted, !c.servers.empty()) << c.text;
        EXPECT_EQ(servers, accepted ? c.servers : std::vector<std::wstring>{L"untouched"})
            << c.text;
    }
}

}  // namespace
}  // namespace netsteer
