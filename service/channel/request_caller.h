#pragma once
// The client whose request is being served, as the dispatcher sees it.
#include <functional>

#include "common/win32_result.h"
#include "service/policy/caller_access.h"

namespace velk {

class RequestCaller {
  public:
    virtual ~RequestCaller() = default;

    // Who sent the request; learnt on the first call and kept. Whatever
    // cannot be learnt leaves the caller untrusted.
    virtual const CallerIdentity& Identity() = 0;

    // Whether the client may read the file behind `file` (see CallerMayRead
    // in command_operations.h).
    virtual Win32Status MayRead(void* file) = 0;
};

}  // namespace velk
