#pragma once
// The HelperSystem of the real netsteer program: commands through the command
// interpreter, the system's Sleep, and the helper log.
#include "netsteer/machine/helper_system.h"

namespace netsteer {

class WindowsHelperSystem : public HelperSystem {
  public:
    velk::Win32Result<std::wstring> RunCommand(const std::wstring& command) override;
    void Sleep(std::uint32_t milliseconds) override;
    void Log(const std::wstring& message) override;
};

}  // namespace netsteer
