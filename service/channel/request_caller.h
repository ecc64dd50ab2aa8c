#pragma once
// The client whose request is being served, as the dispatcher sees it.
#include "common/caller_read_access.h"
#include "service/policy/caller_access.h"

namespace velk {

class RequestCaller {
  public:
    virtual ~RequestCaller() = default;

    // Who sent the request; learnt on the first call and kept. Whatever
    // cannot be learnt leaves the caller untrusted.
    virtual const CallerIdentity& Identity() = 0;

    // What the client may read, by its own token; taken on the first call
    // and kept.
    virtual const CallerReadAccess& ReadAccess() = 0;
};

}  // namespace velk
