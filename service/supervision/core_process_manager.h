#pragma once
// The core process manager: owns the one xray.exe the service may run.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "common/log_sink.h"
#include "common/unique_handle.h"
#include "common/win32_result.h"
#include "service/service_constants.h"
#include "service/supervision/command_operations.h"
#include "service/supervision/kill_on_close_job.h"

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
    // Makes the job the core runs in; tests put a failing one in its place.
    std::function<Win32Result<UniqueHandle>()> makeJob = CreateKillOnCloseJob;
};

// The recorded core. `running` is true exactly when both handles are open.
// The core runs in `job`, which ends it (and whatever it started) when the
// job's last handle closes: when the slot is emptied, or when the service
// dies, so that no core outlives the service that could stop it.
struct XrayProcessSlot {
    bool running = false;
    UniqueHandle job;
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
    // that cannot be opened, a failed creation, or a job that cannot be made
    // or entered gives (false, system error) with nothing left running;
    // a data directory or runtime log that is a link, or lies elsewhere than
    // its path says, gives (false, ERROR_ACCESS_DENIED) with nothing started.
    OpResult StartXray(const std::wstring& configPath);

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
