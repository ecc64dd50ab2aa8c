#include "bench/core/loopback_port.h"

namespace velk::bench {
namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

UniqueSocket TcpSocket() {
    return UniqueSocket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

}  // namespace

std::uint16_t PickFreeLoopbackPort() {
    const UniqueSocket probe = TcpSocket();
    sockaddr_in address = Loopback(0);
    int length = sizeof address;
    if (!probe || bind(probe.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool LoopbackPortAccepts(std::uint16_t port) {
    const UniqueSocket client = TcpSocket();
    const sockaddr_in address = Loopback(port);
    return client &&
           connect(client.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

}  // namespace velk::bench
