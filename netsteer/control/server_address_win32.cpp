#include "common/winsock_handles.h"
#include "common/winsock_session.h"
#include "netsteer/control/server_address.h"

namespace netsteer {
namespace {

// Room for the longest IPv4 text form and its terminator.
constexpr std::size_t kAddressTextUnits = 22;

velk::UniqueAddrInfo Lookup(const std::wstring& host, int flags, int socketType, int protocol) {
    ADDRINFOW hints{};
    hints.ai_flags = flags;
    hints.ai_family = AF_INET;
    hints.ai_socktype = socketType;
    hints.ai_protocol = protocol;
    velk::UniqueAddrInfo list;
    if (GetAddrInfoW(host.c_str(), nullptr, &hints, list.Put()) != 0) {
        return velk::UniqueAddrInfo();
    }
    return list;
}

// The first IPv4 entry's address in dotted text; empty if there is none or
// it cannot be formatted.
std::wstring FirstAddressText(const velk::UniqueAddrInfo& list) {
    for (const ADDRINFOW* entry = list.Get(); entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addr == nullptr ||
            entry->ai_addrlen < sizeof(sockaddr_in)) {
            continue;
        }
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        wchar_t text[kAddressTextUnits] = {};
        InetNtopW(AF_INET, &address->sin_addr, text, kAddressTextUnits);
        return std::wstring(text);
    }
    return std::wstring();
}

}  // namespace

velk::Win32Result<std::wstring> GetVpnServerIp(const std::wstring& host) {
    // The name is the only thing netsteer needs Winsock for.
    const velk::WinsockSession winsock;
    if (!winsock.Started()) {
        return velk::Win32Error{L"WSAStartup", winsock.StartError()};
    }
    // A numeric host is returned as the parsed address prints, so that only the
    // canonical form ever reaches a command line.
    if (velk::UniqueAddrInfo numeric = Lookup(host, AI_NUMERICHOST, 0, 0)) {
        return FirstAddressText(numeric);
    }
    velk::UniqueAddrInfo named = Lookup(host, 0, SOCK_STREAM, IPPROTO_TCP);
    if (!named) {
        return std::wstring();
    }
    return FirstAddressText(named);
}

}  // namespace netsteer
