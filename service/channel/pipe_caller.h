#pragma once
// The client of one pipe connection.
#include <windows.h>

#include <optional>

#include "common/file_read_check.h"
#include "service/channel/request_caller.h"

namespace velk {

class PipeCaller final : public RequestCaller {
  public:
    // `pipe` is the connected instance; it must outlive this object.
    explicit PipeCaller(HANDLE pipe) : pipe_(pipe) {}

    // From the client's impersonation and process tokens (caller_tokens.h).
    const CallerIdentity& Identity() override;
    // By the token the client sent with its request (at identification
    // level, as clients open the pipe).
    const CallerReadAccess& ReadAccess() override;

  private:
    HANDLE pipe_;
    std::optional<CallerIdentity> identity_;
    std::optional<TokenReadAccess> readAccess_;
};

}  // namespace velk
