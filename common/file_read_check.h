#pragma once
// Whether an account may read a file, decided by the file's own security
// rather than by opening it as that account: the service opens the file
// itself and asks with the caller's identification token, so a client never
// has to let the service act in its name.
#include <windows.h>

#include <utility>

#include "common/caller_read_access.h"
#include "common/unique_handle.h"
#include "common/win32_result.h"

namespace velk {

// Done when `token` (an impersonation token of any level, with TOKEN_QUERY)
// is granted FILE_GENERIC_READ by the security descriptor of `file` (opened
// with READ_CONTROL); {"AccessCheck", ERROR_ACCESS_DENIED} when it is not, as
// an open as that account would have failed; otherwise the failed call.
Win32Status TokenMayReadFile(HANDLE token, HANDLE file);

// A client's read access by its token, taken when the request was read: a
// token that could not be taken answers every question with the failed call.
class TokenReadAccess final : public CallerReadAccess {
  public:
    explicit TokenReadAccess(Win32Result<UniqueHandle> token) : token_(std::move(token)) {}

    Win32Status MayRead(void* file) const override {
        if (!token_) {
            return token_.error();
        }
        return TokenMayReadFile(token_.value().Get(), static_cast<HANDLE>(file));
    }

  private:
    Win32Result<UniqueHandle> token_;
};

}  // namespace velk
