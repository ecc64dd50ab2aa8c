#pragma once
// One Winsock 2.2 session: WSAStartup when it is made, WSACleanup when it
// goes, and only when the start succeeded.
#include <cstdint>

namespace velk {

class WinsockSession {
  public:
    WinsockSession();
    ~WinsockSession();
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

    bool Started() const { return startError_ == 0; }
    // What WSAStartup returned (it sets no last error): 0 once started.
    std::uint32_t StartError() const { return startError_; }

  private:
    std::uint32_t startError_ = 0;
};

}  // namespace velk
