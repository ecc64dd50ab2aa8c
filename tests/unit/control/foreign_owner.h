#pragma once
// Giving a file to another account, as a file planted by another local user
// would be. Only root can on POSIX; Wine keeps every file with its one user,
// so there (and for other users) the tests that need it are skipped.
#include <string>

#ifndef _WIN32
#include <unistd.h>

#include "common/wide_text.h"
#endif

namespace netsteer::testing {

// True when the file at `path` now belongs to an account that is neither
// this process's nor the system's.
inline bool GiveToAnotherAccount(const std::wstring& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    constexpr uid_t kNobody = 65534;
    return ::geteuid() == 0 && ::chown(velk::WideToUtf8(path).c_str(), kNobody, kNobody) == 0;
#endif
}

}  // namespace netsteer::testing
