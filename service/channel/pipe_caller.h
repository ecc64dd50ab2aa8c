#pragma once
// The client of one pipe connection.
#include <windows.h>

#include <optional>

#include "common/file_read_check.h"
#include "service/channel/caller_tokens.h"
#include "service/channel/request_caller.h"

namespace velk {

class PipeCaller final : public RequestCaller {
  public:
    // `pipe` is the connected instance and `trustedGroup` the service's
    // lookup of its trusted group; both must outlive this object.
    PipeCaller(HANDLE pipe, LocalGroupLookup& trustedGroup)
        : pipe_(pipe), trustedGroup_(trustedGroup) {}

    // From the client's impersonation and process tokens (caller_tokens.h).
    const CallerIdentity& Identity() override;
    // By the token the client sent with its request (at identification
    // level, as clients open the pipe).
    const CallerReadAccess& ReadAccess() override;

  private:
    HANDLE pipe_;
    LocalGroupLookup& trustedGroup_;
    std::optional<CallerIdentity> identity_;
    std::optional<TokenReadAccess> readAccess_;
};

}  // namespace velk
