// netsim.exe: the control program of the network simulator.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "common/local_memory.h"
#include "common/unique_handle.h"
#include "tools/netsim/netsim_control.h"
#include "tools/netsim/netsim_program.h"

namespace {

constexpr wchar_t kHoldEventName[] = L"Global\\velk-netsim-hold";
constexpr DWORD kDefaultHoldSeconds = 600;
// The longest finite wait (INFINITE is 0xFFFFFFFF): about 49.7 days.
constexpr DWORD kLongestHoldMs = INFINITE - 1;

// Wine ends a prefix's services when its last ordinary process exits; a
// script that talks to a service keeps this one waiting until "release".
int Hold(DWORD seconds) {
    velk::UniqueHandle released(CreateEventW(nullptr, TRUE, FALSE, kHoldEventName));
    if (!released) {
        std::fprintf(stderr, "netsim: cannot create the hold event (error %lu)\n",
                     static_cast<unsigned long>(GetLastError()));
        return 3;
    }
    // In 64 bits: a large count must not wrap to a short wait, and stays
    // below INFINITE so that the hold still ends on its own.
    const unsigned long long milliseconds = static_cast<unsigned long long>(seconds) * 1000u;
    const DWORD timeout =
        static_cast<DWORD>(std::min<unsigned long long>(milliseconds, kLongestHoldMs));
    return WaitForSingleObject(released.Get(), timeout) == WAIT_OBJECT_0 ? 0 : 1;
}

// Whether a "hold" is waiting, so a script can wait until its holder is up.
int Held() {
    velk::UniqueHandle released(OpenEventW(SYNCHRONIZE, FALSE, kHoldEventName));
    return released ? 0 : 1;
}

int Release() {
    velk::UniqueHandle released(OpenEventW(EVENT_MODIFY_STATE, FALSE, kHoldEventName));
    if (!released) {
        std::fprintf(stderr, "netsim: nothing holds\n");
        return 1;
    }
    SetEvent(released.Get());
    return 0;
}

}  // namespace

int main() {
    int count = 0;
    const velk::UniqueLocal<LPWSTR> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    const std::wstring command = argv && count > 1 ? netsim::ToLower(argv.Get()[1]) : L"";
    const std::wstring value = argv && count > 2 ? argv.Get()[2] : L"";
    if (command == L"hold" && count <= 3) {
        int seconds = static_cast<int>(kDefaultHoldSeconds);
        if (count == 3 && !netsim::ParseCount(value, seconds)) {
            std::fprintf(stderr, "netsim: hold takes a number of seconds\n");
            return 2;
        }
        return Hold(static_cast<DWORD>(seconds));
    }
    if (command == L"held" && count == 2) {
        return Held();
    }
    if (command == L"release" && count == 2) {
        return Release();
    }
    return netsim::RunToolProgram(L"netsim", netsim::RunControl, false);
}
