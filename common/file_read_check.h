#pragma once
// Whether an account may read a file, decided by the file's own security
// rather than by opening it as that account: the service opens the file
// itself and asks with the caller's identification token, so a client never
// has to let the service act in its name.
#include <windows.h>

#include "common/win32_result.h"

namespace velk {

// Done when `token` (an impersonation token of any level, with TOKEN_QUERY)
// is granted FILE_GENERIC_READ by the security descriptor of `file` (opened
// with READ_CONTROL); {"AccessCheck", ERROR_ACCESS_DENIED} when it is not, as
// an open as that account would have failed; otherwise the failed call.
Win32Status TokenMayReadFile(HANDLE token, HANDLE file);

}  // namespace velk
