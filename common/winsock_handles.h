#pragma once
// Owners of what Winsock hands out: a socket and a GetAddrInfoW answer.
// Both need a Winsock session (velk::WinsockSession) while they are open.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "common/unique_resource.h"

namespace velk {

struct SocketTraits {
    using Raw = SOCKET;
    static Raw Empty() { return INVALID_SOCKET; }
    static bool IsEmpty(Raw value) { return value == INVALID_SOCKET; }
    static void Close(Raw value) { closesocket(value); }
};
using UniqueSocket = UniqueResource<SocketTraits>;

using UniqueAddrInfo = UniqueNullEmpty<ADDRINFOW*, &FreeAddrInfoW>;

}  // namespace velk
