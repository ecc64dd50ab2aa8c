#pragma once
// The client whose request is being served, as the dispatcher sees it.
#include <functional>

#include "common/win32_result.h"

namespace velk {

class RequestCaller {
  public:
    virtual ~RequestCaller() = default;

    // Runs `work` on this thread as the client (see AsCaller in
    // command_operations.h); the service's own identity is back before it
    // returns.
    virtual Win32Status RunAsCaller(const std::function<void()>& work) = 0;
};

}  // namespace velk
