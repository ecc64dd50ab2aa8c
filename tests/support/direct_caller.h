#pragma once
// A caller for tests that have no pipe client to act as: the work runs as
// this process, and the caller is whoever the test says (LocalSystem unless
// told otherwise).
#include <functional>
#include <utility>

#include "common/caller_read_access.h"

#include "service/channel/request_caller.h"
#include "service/supervision/command_operations.h"

namespace velk::test_support {

// A read check that answers what `check` says of each file.
class ReadAccessFrom final : public CallerReadAccess {
  public:
    explicit ReadAccessFrom(std::function<Win32Status(void* file)> check)
        : check_(std::move(check)) {}
    Win32Status MayRead(void* file) const override { return check_(file); }

  private:
    std::function<Win32Status(void* file)> check_;
};

// Any file may be read.
inline const ReadAccessFrom AnyoneMayRead([](void*) -> Win32Status { return Done{}; });

inline CallerIdentity SystemCaller() {
    return CallerIdentity{CallerRank::kLocalSystem, L"S-1-5-18", L"NT AUTHORITY\\SYSTEM", 4};
}

class DirectCaller final : public RequestCaller {
  public:
    explicit DirectCaller(CallerIdentity identity = SystemCaller())
        : identity_(std::move(identity)) {}
    const CallerIdentity& Identity() override { return identity_; }
    const CallerReadAccess& ReadAccess() override { return AnyoneMayRead; }

  private:
    CallerIdentity identity_;
};

}  // namespace velk::test_support
