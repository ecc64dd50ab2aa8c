// GetVpnServerIp against the real Winsock resolver.
#include <winsock2.h>

#include <gtest/gtest.h>

#include "common/winsock_session.h"
#include "netsteer/control/server_address.h"

namespace netsteer {
namespace {

class ServerAddress : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(winsock_.Started()); }
    velk::WinsockSession winsock_;
};

TEST_F(ServerAddress, DottedAddressComesBackAsItIs) {
    for (const wchar_t* host : {L"10.0.0.1", L"203.0.113.7", L"0.0.0.0", L"255.255.255.255"}) {
        EXPECT_EQ(GetVpnServerIp(host), host);
    }
}

TEST_F(ServerAddress, OtherNumericFormsComeBackCanonical) {
    // Whatever forms the resolver accepts as numeric, only the dotted form of
    // the parsed address may come out of it.
    // Windows (and Wine) read "012" as octal, so the text as given would name
    // another host to the route tool than the one that was resolved.
    int accepted = 0;
    for (const wchar_t* host : {L"10.1", L"0x0a.0.0.1", L"012.0.0.1", L"167772161", L"10.0.0.01"}) {
        const std::wstring address = GetVpnServerIp(host);
        if (!address.empty()) {
            ++accepted;
            EXPECT_EQ(address, L"10.0.0.1") << host;
        }
    }
    EXPECT_GT(accepted, 0);
}

TEST_F(ServerAddress, UnresolvableHostsGiveEmptyText) {
    for (const wchar_t* host : {L"no-such-host.invalid", L"::1", L"fe80::1", L"1.2.3.4 & calc"}) {
        EXPECT_EQ(GetVpnServerIp(host), L"") << host;
    }
}

TEST_F(ServerAddress, NameResolvesToAnIPv4Address) {
    EXPECT_EQ(GetVpnServerIp(L"localhost"), L"127.0.0.1");
}

}  // namespace
}  // namespace netsteer
