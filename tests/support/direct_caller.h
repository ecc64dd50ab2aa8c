#pragma once
// A caller for tests that have no pipe client to act as: the work runs as
// this process, and the caller is whoever the test says (LocalSystem unless
// told otherwise).
#include <functional>
#include <utility>

#include "service/channel/request_caller.h"
#include "service/supervision/command_operations.h"

namespace velk::test_support {

inline Win32Status AnyoneMayRead(void* /*file*/) {
    return Done{};
}

inline CallerIdentity SystemCaller() {
    return CallerIdentity{CallerRank::kLocalSystem, L"S-1-5-18", L"NT AUTHORITY\\SYSTEM", 4};
}

class DirectCaller final : public RequestCaller {
  public:
    explicit DirectCaller(CallerIdentity identity = SystemCaller())
        : identity_(std::move(identity)) {}
    const CallerIdentity& Identity() override { return identity_; }
    Win32Status MayRead(void* file) override { return AnyoneMayRead(file); }

  private:
    CallerIdentity identity_;
};

}  // namespace velk::test_support
