#pragma once
// The client whose request is being served, as the dispatcher sees it.
#include <functional>

#include "common/win32_result.h"
#include "service/channel/caller_access.h"

namespace velk {

class RequestCaller {
  public:
    virtual ~RequestCaller() = default;

    // Who sent the request; learnt on the first call and kept. Whatever
    // cannot be learnt leaves the caller untrusted.
    virtual const CallerIdentity& Identity() = 0;

    // Runs `work` on this thread as the client (see AsCaller in
    // command_operations.h); the service's own identity is back before it
    // returns.
    virtual Win32Status RunAsCaller(const std::function<void()>& work) = 0;
};

}  // namespace velk
