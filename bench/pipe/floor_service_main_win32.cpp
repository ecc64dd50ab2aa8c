// The floor for the pipe benchmark: the least a service can do per request.
// One blocking message-mode instance, reused: connect, read, write a constant
// answer, FlushFileBuffers, DisconnectNamedPipe. Runs as the service
// "VelkPipeFloor" on the pipe "\\.\pipe\velk_pipe_floor".
#include <windows.h>

#include <atomic>

#include "bench/pipe/pipe_bench_names.h"
#include "common/unique_handle.h"

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
std::atomic<bool> stopping{false};

void Report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, LPVOID, LPVOID) {
    if (control == SERVICE_CONTROL_STOP) {
        stopping = true;
        Report(SERVICE_STOP_PENDING);
        // Wakes the blocking connect.
        const velk::UniqueHandle wake(CreateFileW(velk::bench::kFloorPipeName,
                                                  GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
    }
    return NO_ERROR;
}

void WINAPI FloorMain(DWORD, LPWSTR*) {
    statusHandle = RegisterServiceCtrlHandlerExW(velk::bench::kFloorServiceName, Control, nullptr);
    if (statusHandle == nullptr) {
        return;
    }
    const velk::UniqueHandle owned(CreateNamedPipeW(
        velk::bench::kFloorPipeName, PIPE_ACCESS_DUPLEX,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr));
    const HANDLE pipe = owned.Get();
    Report(SERVICE_RUNNING);
    char request[4096];
    while (owned && !stopping) {
        if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
            DWORD got = 0;
            if (ReadFile(pipe, request, sizeof(request), &got, nullptr) && got != 0) {
                DWORD written = 0;
                WriteFile(pipe, velk::bench::kStatusAnswer, sizeof(velk::bench::kStatusAnswer),
                          &written, nullptr);
                FlushFileBuffers(pipe);
            }
        }
        DisconnectNamedPipe(pipe);
    }
    Report(SERVICE_STOPPED);
}

}  // namespace

int wmain() {
    SERVICE_TABLE_ENTRYW table[] = {
        {const_cast<LPWSTR>(velk::bench::kFloorServiceName), FloorMain},
        {nullptr, nullptr},
    };
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
