#pragma once
// TCP ports on 127.0.0.1 for the core benchmark: one picked free at run time,
// and whether something accepts connections on it yet. Needs a Winsock
// session (velk::WinsockSession) for as long as these are used.
#include <winsock2.h>

#include <cstdint>
#include <utility>

namespace velk::bench {

// Move-only owner of a socket, closed when the owner goes.
class UniqueSocket {
  public:
    UniqueSocket() = default;
    explicit UniqueSocket(SOCKET socket) : socket_(socket) {}
    ~UniqueSocket() { Reset(); }

    UniqueSocket(const UniqueSocket&) = delete;
    UniqueSocket& operator=(const UniqueSocket&) = delete;
    UniqueSocket(UniqueSocket&& other) noexcept
        : socket_(std::exchange(other.socket_, INVALID_SOCKET)) {}
    UniqueSocket& operator=(UniqueSocket&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.socket_, INVALID_SOCKET));
        }
        return *this;
    }

    SOCKET Get() const { return socket_; }
    explicit operator bool() const { return socket_ != INVALID_SOCKET; }

    void Reset(SOCKET socket = INVALID_SOCKET) {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
        }
        socket_ = socket;
    }

  private:
    SOCKET socket_ = INVALID_SOCKET;
};

// A TCP port on 127.0.0.1 that was free a moment ago: the one the system
// gave a socket bound to port 0, which is closed again. 0 when none was had.
std::uint16_t PickFreeLoopbackPort();

// True when a TCP connection to 127.0.0.1:`port` is accepted (and closed at
// once); false while nothing listens there.
bool LoopbackPortAccepts(std::uint16_t port);

}  // namespace velk::bench
