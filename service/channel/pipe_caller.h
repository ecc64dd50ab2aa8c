#pragma once
// The client of one pipe connection.
#include <windows.h>

#include <optional>

#include "service/channel/request_caller.h"

namespace velk {

class PipeCaller final : public RequestCaller {
  public:
    // `pipe` is the connected instance; it must outlive this object.
    explicit PipeCaller(HANDLE pipe) : pipe_(pipe) {}

    // From the client's impersonation and process tokens (caller_tokens.h).
    const CallerIdentity& Identity() override;
    Win32Status RunAsCaller(const std::function<void()>& work) override;

  private:
    HANDLE pipe_;
    std::optional<CallerIdentity> identity_;
};

}  // namespace velk
