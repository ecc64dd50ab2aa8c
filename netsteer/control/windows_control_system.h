#pragma once
// The real operating system behind ControlSystem: the command runner, Sleep,
// the helper log, the Winsock resolver, the tick count and the fixed state
// file path.
#include "netsteer/control/control_system.h"
#include "netsteer/machine/windows_helper_system.h"

namespace netsteer {

class WindowsControlSystem final : public ControlSystem {
  public:
    velk::Win32Result<std::wstring> RunCommand(const std::wstring& command) override;
    void Sleep(std::uint32_t milliseconds) override;
    void Log(const std::wstring& message) override;
    velk::Win32Result<std::wstring> ResolveServerHost(const std::wstring& host) override;
    std::uint64_t MonotonicMs() override;
    std::wstring StateFilePath() override;

  private:
    WindowsHelperSystem helper_;
};

}  // namespace netsteer
