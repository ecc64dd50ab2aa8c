#pragma once
// A caller for tests that have no pipe client to act as: the work runs as
// this process.
#include <functional>

#include "service/channel/request_caller.h"
#include "service/supervision/command_operations.h"

namespace velk::test_support {

inline Win32Status RunDirectly(const std::function<void()>& work) {
    work();
    return Done{};
}

class DirectCaller final : public RequestCaller {
  public:
    Win32Status RunAsCaller(const std::function<void()>& work) override {
        return RunDirectly(work);
    }
};

// One caller for every request a test sends from this process.
inline RequestCaller& DirectTestCaller() {
    static DirectCaller caller;
    return caller;
}

}  // namespace velk::test_support
