// A client process that holds several connections of a pipe and says
// nothing on any of them, so that a test can show what the server does with
// one process that holds more than its share.
//
// Usage: pipe_holder.exe <pipe> <connections> <event>: sets the named event
// once every connection is open, then holds them until it is ended.
#include <windows.h>

#include <cwchar>
#include <utility>
#include <vector>

#include "common/unique_handle.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        return 2;
    }
    const int count = _wtoi(argv[2]);
    std::vector<velk::UniqueHandle> held;
    for (int i = 0; i < count; ++i) {
        velk::UniqueHandle pipe(CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
        if (!pipe) {
            return 1;
        }
        held.push_back(std::move(pipe));
    }
    const velk::UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]));
    if (!ready || !SetEvent(ready.Get())) {
        return 1;
    }
    Sleep(INFINITE);
    return 0;
}
