#include "common/winsock_session.h"

#include <winsock2.h>

namespace velk {

WinsockSession::WinsockSession() {
    WSADATA data{};
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockSession::~WinsockSession() {
    if (started_) {
        WSACleanup();
    }
}

}  // namespace velk
