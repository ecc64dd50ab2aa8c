#pragma once
// The one shape in which a Windows call reports back: the value it gave, or
// the call that failed together with the code GetLastError (or the call
// itself) gave right after it. Callers that log a failure log FailureText.
#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace velk {

struct Win32Error {
    const wchar_t* call = L"";  // the function that failed, e.g. L"CreateProcessW"
    std::uint32_t code = 0;     // its system error code
};

// "<call> failed. Error=<code>", the form every failure is logged in.
std::wstring FailureText(const Win32Error& error);

// GetLastError right after `call` failed. Windows only.
Win32Error LastError(const wchar_t* call);

// The value of a call that has nothing else to give back.
struct Done {};

template <typename T = Done>
class [[nodiscard]] Win32Result {
  public:
    Win32Result(const T& value) : state_(std::in_place_index<0>, value) {}
    Win32Result(T&& value) : state_(std::in_place_index<0>, std::move(value)) {}
    Win32Result(Win32Error error) : state_(std::in_place_index<1>, error) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    const Win32Error& error() const { return std::get<1>(state_); }

  private:
    std::variant<T, Win32Error> state_;
};

using Win32Status = Win32Result<Done>;

}  // namespace velk
