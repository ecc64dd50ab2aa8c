#pragma once
// The core process manager: owns the one xray.exe the service may run.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "common/unique_handle.h"
#include "service/service_constants.h"
#include "service/supervision/command_operations.h"
#include "common/log_sink.h"

namespace velk {

// Where the core comes from and where its output goes. The service passes
// the fixed constants; tests pass a temporary directory and short times.
struct CoreProcessSettings {
    // The directory xray.exe is taken from, with its trailing separator; an
    // empty text starts the bare "xray.exe" with no working directory.
    std::function<std::wstring()> programDirectory;
    std::wstring dataDirectory = kDataDirectory;
    std::wstring runtimeLogPath = kCoreRuntimeLogPath;
    std::uint32_t settleMs = kCoreSettleMs;
    std::uint32_t terminateWaitMs = kCoreTerminateWaitMs;
    LogSink log;
};

// The recorded core. `running` is true exactly when both handles are open.
struct XrayProcessSlot {
    bool running = false;
    UniqueHandle process;
    UniqueHandle thread;
    DWORD processId = 0;
    DWORD threadId = 0;
};

class CoreProcessManager {
  public:
    explicit CoreProcessManager(CoreProcessSettings settings);

    // Starts "<dir>xray.exe" run -config "<configPath>" unless the recorded
    // core still runs, which then keeps its configuration: (true, 0). A core
    // that ends within the settle time gives (false, its exit code); a log
    // that cannot be opened or a failed creation gives (false, system error);
    // a data directory or runtime log that is a link, or lies elsewhere than
    // its path says, gives (false, ERROR_ACCESS_DENIED) with nothing started.
    // `asCaller` runs work as the requesting client.
    OpResult StartXray(const std::wstring& configPath, const AsCaller& asCaller);

    // Terminates the recorded core if it still runs (exit code 0, then waits
    // at most terminateWaitMs) and empties the slot. Always (true, 0).
    OpResult StopXray();

    // (true, 259) while the recorded core runs, (false, exit code) once it
    // has ended, (false, 0) for an empty slot, (false, system error) when the
    // exit code cannot be read. Changes nothing.
    XrayStatus QueryXrayStatus();

    // The process id of the recorded core, 0 when the slot is empty.
    DWORD RecordedProcessId();

  private:
    void Log(const std::wstring& message) const;
    void EmptySlot();

    CoreProcessSettings settings_;
    std::mutex xrayMutex;
    XrayProcessSlot slot_;
};

}  // namespace velk
