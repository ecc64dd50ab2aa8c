// netsteer.exe: the route helper that VelkVPNService starts for each routing
// request. A GUI-subsystem program that opens no window, so that starting it
// never flashes a console; it reports by its exit code and its log alone.
#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "common/local_memory.h"
#include "netsteer/control/helper_entry.h"
#include "netsteer/control/windows_control_system.h"
#include "netsteer/netsteer_constants.h"

namespace {}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    const velk::UniqueLocal<LPWSTR> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
    if (!argv) {
        return netsteer::kExitBadCommandLine;
    }
    netsteer::WindowsControlSystem system;
    return netsteer::HelperMain(system, argc, argv.Get());
}
