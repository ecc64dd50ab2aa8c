#pragma once
// The operating-system services that netsteer's logic needs, as one seam.
// Production passes the Windows implementation; tests pass recording fakes
// with recorded tool output, so every sequence runs without Windows.
#include <cstdint>
#include <string>

#include "common/win32_result.h"

namespace netsteer {

class HelperSystem {
  public:
    virtual ~HelperSystem() = default;

    // Runs command through the system folder's command interpreter, its tool
    // started from the system folder, hidden, and returns everything it printed on
    // standard output and standard error, decoded (empty when it printed
    // nothing). The failed call when the command interpreter could not be
    // started: the command did not run at all.
    virtual velk::Win32Result<std::wstring> RunCommand(const std::wstring& command) = 0;

    // Pauses the helper.
    virtual void Sleep(std::uint32_t milliseconds) = 0;

    // Hands one message to the helper log (WriteLog).
    virtual void Log(const std::wstring& message) = 0;
};

// What a command printed, for the readers of listings and answers: a command
// that could not run printed nothing they could find anything in.
inline std::wstring PrintedText(const velk::Win32Result<std::wstring>& output) {
    return output ? output.value() : std::wstring();
}

}  // namespace netsteer
