#pragma once
// The operating-system services that netsteer's logic needs, as one seam.
// Production passes the Windows implementation; tests pass recording fakes
// with recorded tool output, so every sequence runs without Windows.
#include <cstdint>
#include <string>

namespace netsteer {

class HelperSystem {
  public:
    virtual ~HelperSystem() = default;

    // Runs "cmd.exe /C " + command hidden and returns everything it printed on
    // standard output and standard error, decoded; empty when it could not run.
    virtual std::wstring RunCommand(const std::wstring& command) = 0;

    // Pauses the helper.
    virtual void Sleep(std::uint32_t milliseconds) = 0;

    // Hands one message to the helper log (WriteLog).
    virtual void Log(const std::wstring& message) = 0;
};

}  // namespace netsteer
