#include "common/winsock_session.h"

#include <winsock2.h>

namespace velk {

WinsockSession::WinsockSession() {
    WSADATA data{};
    startError_ = static_cast<std::uint32_t>(WSAStartup(MAKEWORD(2, 2), &data));
}

WinsockSession::~WinsockSession() {
    if (Started()) {
        WSACleanup();
    }
}

}  // namespace velk
