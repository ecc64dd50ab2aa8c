// GetVpnServerIp against the real Winsock resolver, which it starts and
// releases itself.
#include <winsock2.h>

#include <gtest/gtest.h>

#include "common/winsock_handles.h"
#include "netsteer/control/server_address.h"

namespace netsteer {
namespace {

// The address text, or "<WSAStartup failed>" when there was no lookup.
std::wstring Resolved(const wchar_t* host) {
    const velk::Win32Result<std::wstring> address = GetVpnServerIp(host);
    return address ? address.value() : velk::FailureText(address.error());
}

TEST(ServerAddress, NameResolvesWithWinsockStartedForTheLookupAlone) {
    EXPECT_EQ(Resolved(L"localhost"), L"127.0.0.1");
    // No session is left behind: a socket needs a WSAStartup of its own.
    const velk::UniqueSocket socketAfter(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    const int error = WSAGetLastError();
    EXPECT_EQ(socketAfter.Get(), INVALID_SOCKET);
    EXPECT_EQ(error, WSANOTINITIALISED);
}

TEST(ServerAddress, DottedAddressComesBackAsItIs) {
    for (const wchar_t* host : {L"10.0.0.1", L"203.0.113.7", L"0.0.0.0", L"255.255.255.255"}) {
        EXPECT_EQ(Resolved(host), host);
    }
}

TEST(ServerAddress, OtherNumericFormsComeBackCanonical) {
    // Whatever forms the resolver accepts as numeric, only the dotted form of
    // the parsed address may come out of it.
    // Windows (and Wine) read "012" as octal, so the text as given would name
    // another host to the route tool than the one that was resolved.
    int accepted = 0;
    for (const wchar_t* host : {L"10.1", L"0x0a.0.0.1", L"012.0.0.1", L"167772161", L"10.0.0.01"}) {
        const std::wstring address = Resolved(host);
        if (!address.empty()) {
            ++accepted;
            EXPECT_EQ(address, L"10.0.0.1") << host;
        }
    }
    EXPECT_GT(accepted, 0);
}

TEST(ServerAddress, UnresolvableHostsGiveEmptyText) {
    for (const wchar_t* host : {L"no-such-host.invalid", L"::1", L"fe80::1", L"1.2.3.4 & calc"}) {
        EXPECT_EQ(Resolved(host), L"") << host;
    }
}

}  // namespace
}  // namespace netsteer
