#pragma once
// A wait registered with the system's thread pool: `callback(context, ...)`
// runs on a pool thread once `object` is signalled (once only). Unregistered
// when this goes, after a callback under way has finished, so that the
// context may go right after it.
#include <windows.h>

namespace velk {

class RegisteredWait {
  public:
    RegisteredWait(HANDLE object, WAITORTIMERCALLBACK callback, void* context) {
        if (!RegisterWaitForSingleObject(&wait_, object, callback, context, INFINITE,
                                         WT_EXECUTEONLYONCE)) {
            wait_ = nullptr;
        }
    }
    ~RegisteredWait() {
        if (wait_ != nullptr) {
            UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
        }
    }
    RegisteredWait(const RegisteredWait&) = delete;
    RegisteredWait& operator=(const RegisteredWait&) = delete;

    // False when the wait could not be registered.
    explicit operator bool() const { return wait_ != nullptr; }

  private:
    HANDLE wait_ = nullptr;
};

}  // namespace velk
