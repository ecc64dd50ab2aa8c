#pragma once
// Move-only owner of a Windows HANDLE. Treats both NULL and INVALID_HANDLE_VALUE
// as "no handle", and keeps GetLastError intact across a reset so that an error
// captured after a failed call is not overwritten by the clean-up.
#include <windows.h>

#include <utility>

namespace velk {

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return Valid(); }

    HANDLE Release() { return std::exchange(handle_, nullptr); }

    void Reset(HANDLE handle = nullptr) {
        if (Valid()) {
            const DWORD savedError = GetLastError();
            CloseHandle(handle_);
            SetLastError(savedError);
        }
        handle_ = handle;
    }

    // For APIs that write a handle through an out parameter.
    HANDLE* Put() {
        Reset();
        return &handle_;
    }

  private:
    HANDLE handle_ = nullptr;
};

// The process and thread handles that CreateProcessW gives back, owned
// together from the moment the call returns.
struct ProcessHandles {
    UniqueHandle process;
    UniqueHandle thread;
};

inline ProcessHandles TakeProcessHandles(const PROCESS_INFORMATION& info) {
    return ProcessHandles{UniqueHandle(info.hProcess), UniqueHandle(info.hThread)};
}

}  // namespace velk
