#pragma once
// One Winsock 2.2 session: WSAStartup when it is made, WSACleanup when it
// goes, and only when the start succeeded.

namespace velk {

class WinsockSession {
  public:
    WinsockSession();
    ~WinsockSession();
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

    bool Started() const { return started_; }

  private:
    bool started_ = false;
};

}  // namespace velk
