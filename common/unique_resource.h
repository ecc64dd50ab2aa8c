#pragma once
// One move-only owner for every kind of Windows resource. A traits struct
// names the kind: its raw type (`Raw`), the value that means "nothing owned"
// (`Empty()`), which raw values count as nothing (`IsEmpty`, for kinds with
// more than one such value), and the call that lets it go (`Close`). The
// kinds themselves are named once each, in the headers grouped by who hands
// them out (unique_handle.h, local_memory.h, service_handles.h, ...). Closing
// keeps GetLastError intact, so that an error captured after a failed call is
// not overwritten by the clean-up of what that call left behind.
#include <windows.h>

#include <utility>

namespace velk {

template <typename Traits>
class UniqueResource {
  public:
    using Raw = typename Traits::Raw;

    UniqueResource() = default;
    explicit UniqueResource(Raw value) : value_(value) {}
    ~UniqueResource() { Reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    Raw Get() const { return value_; }
    bool Valid() const { return !Traits::IsEmpty(value_); }
    explicit operator bool() const { return Valid(); }

    Raw Release() { return std::exchange(value_, Traits::Empty()); }

    void Reset(Raw value = Traits::Empty()) {
        const Raw old = std::exchange(value_, value);
        if (!Traits::IsEmpty(old)) {
            const DWORD savedError = GetLastError();
            Traits::Close(old);
            SetLastError(savedError);
        }
    }

    // For calls that write the resource through an out parameter.
    Raw* Put() {
        Reset();
        return &value_;
    }

  private:
    Raw value_ = Traits::Empty();
};

// The common case: a kind whose only empty value is null, let go by one call
// that takes the raw value (its result, if any, is of no use at clean-up).
template <typename T, auto CloseCall>
struct NullEmptyTraits {
    using Raw = T;
    static Raw Empty() { return nullptr; }
    static bool IsEmpty(Raw value) { return value == nullptr; }
    static void Close(Raw value) { CloseCall(value); }
};
template <typename T, auto CloseCall>
using UniqueNullEmpty = UniqueResource<NullEmptyTraits<T, CloseCall>>;

}  // namespace velk
