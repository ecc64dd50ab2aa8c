#pragma once
// Whether the client being served may read a file, as a value the channel
// hands down with the request: the supervision asks it about the handle it
// opened itself, and never calls back into whoever served the request.
#include "common/win32_result.h"

namespace velk {

class CallerReadAccess {
  public:
    virtual ~CallerReadAccess() = default;

    // Done when the client may read the file behind `file` (a Windows file
    // handle opened with READ_CONTROL), by the file's own security;
    // ERROR_ACCESS_DENIED when it may not; or the call that failed while the
    // client's token was taken.
    virtual Win32Status MayRead(void* file) const = 0;
};

}  // namespace velk
