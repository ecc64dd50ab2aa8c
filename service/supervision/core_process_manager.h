#pragma once
// The core process manager: owns the core session, with the one xray.exe the
// service may run.
#include <windows.h>

#include <cstdint>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

#include "common/refusal.h"
#include "common/registered_wait.h"
#include "common/unique_handle.h"
#include "service/service_constants.h"
#include "service/supervision/command_operations.h"
#include "service/supervision/core_session.h"
#include "service/supervision/kill_on_close_job.h"
#include "service/supervision/service_events.h"
#include "common/log_sink.h"
#include "common/win32_result.h"

namespace velk {

// Where the core comes from and where its output goes. The service passes
// the fixed constants; tests pass a temporary directory and short times.
struct CoreProcessSettings {
    // The directory xray.exe is taken from, with its trailing separator; an
    // empty text starts the bare "xray.exe" with no working directory.
    std::wstring programDirectory;
    std::wstring dataDirectory = kDataDirectory;
    std::wstring runtimeLogPath = kCoreRuntimeLogPath;
    // The core's own error log, when a configuration names it: read back
    // like the runtime log, from where the session began.
    std::wstring errorLogPath = kCoreErrorLogPath;
    // The copy of the caller's configuration that the core is started with.
    std::wstring configCopyPath = kCoreConfigCopyPath;
    std::uint64_t maxConfigBytes = kMaxCoreConfigBytes;
    std::uint32_t settleMs = kCoreSettleMs;
    std::uint32_t terminateWaitMs = kCoreTerminateWaitMs;
    LogSink log;
    // Refused configurations, files moved aside, and a core that ended by
    // itself (reported from a thread-pool thread).
    EventSink events;
    // Makes the job the core runs in; tests put a failing one in its place.
    std::function<Win32Result<UniqueHandle>()> makeJob = CreateKillOnCloseJob;
};

// Reports the recorded core's end as an event unless the service ended it.
struct CoreEndReport {
    DWORD processId = 0;
    HANDLE process = nullptr;  // the record's own handle, open while this is watched
    EventSink events;
    std::atomic<bool> expected{false};  // set before the service ends the core
};

// The core the service started and has not let go. It runs in `job`, which
// ends it (and whatever it started) when the job's last handle closes: when
// the record goes, or when the service dies, so that no core outlives the
// service that could stop it. Members go in reverse order: the watch first,
// then what it reads, then the job.
struct RecordedCore {
    UniqueHandle job;
    UniqueHandle process;
    DWORD processId = 0;
    std::unique_ptr<CoreEndReport> endReport;
    UniqueRegisteredWait endWatch;
};

// A core just created and resumed in its job.
struct CreatedCore {
    UniqueHandle process;
    DWORD processId = 0;
};

// The core session: whose start last ran a core and where its output begins
// (the ledger), and that core's job and process while the service holds it.
// The ledger outlives the core, so that its owner can still read why it
// ended; only the next start that runs a core replaces it.
struct CoreSession {
    CoreSessionLedger ledger;
    std::optional<RecordedCore> core;
};

// The caller's configuration as the core gets it, or why it is refused.
struct CheckedConfiguration {
    std::string text;
    std::optional<Refusal> refusal;
};

// The runtime log opened for the core, and how long it was then.
struct OpenedRuntimeLog {
    UniqueHandle handle;
    std::wstring path;  // the file used (a fresh one when the usual is held)
    std::int64_t end = 0;
};

class CoreProcessManager {
  public:
    explicit CoreProcessManager(CoreProcessSettings settings);

    // Starts the core unless the recorded core still runs, which then keeps
    // its configuration: kAlreadyRunning. The file at `configPath` is read once as
    // the service, once `reader` said the requesting client may read it, and checked: a plain
    // local JSON file (config_path_rules) read into one document that the field rules allow
    // (core_config_document, core_config_policy); otherwise kRefused with the reason, an
    // event and nothing started. The core gets that document written back out, as a copy in the
    // data directory: "<dir>xray.exe" run -config "<copy>", run in the data directory: kStarted.
    // A core that ends within the settle time gives kEndedAtOnce with its exit code; a file that
    // cannot be read as the client, a failed creation, a job that cannot be made or entered
    // (nothing is left running), or a client whose identity cannot be taken gives kFailed with
    // the failed call, as does a data directory that is not ours and cannot be moved aside
    // (PrepareDataDirectory). A file at the copy's or the log's path that is not ours is moved
    // aside (an event) and made anew. A start that ran a core (kStarted, kEndedAtOnce) makes the
    // session `owner`'s, its output what the logs gain from then on.
    CoreStartOutcome StartXray(const std::wstring& configPath, const CallerReadAccess& reader,
                               const std::wstring& owner);

    // Terminates the recorded core if it still runs (exit code 0, then waits
    // at most terminateWaitMs) and empties the slot. Always (true, 0).
    OpResult StopXray();

    // (true, 259) while the recorded core runs, (false, exit code) once it
    // has ended, (false, 0) for an empty slot, (false, system error) when the
    // exit code cannot be read. Changes nothing.
    XrayStatus QueryXrayStatus();

    // The process id of the recorded core, 0 when the slot is empty.
    DWORD RecordedProcessId();

    // Who holds the session, and whether its core is still recorded.
    CoreSessionHolder Holder();

    // The last maxBytes bytes of what the session's core wrote to `log`
    // (ReadFileTail from the session's mark); with no session, of the whole
    // log. The failed call when the log cannot be read.
    Win32Result<std::wstring> ReadLogTail(CoreLog log, std::int64_t maxBytes);

    // Makes the data directory ours (data_folder.h): made when missing, kept
    // with its files when ours, and when not ours (a link anywhere in it,
    // another owner, too deep or too full to check) moved aside whole, with
    // a log line and an event, and made anew. The failed call when that
    // cannot be done. The service calls this as it starts, before any
    // request can arrive, and StartXray before each start of the core.
    Win32Status PrepareDataDirectory();

  private:
    void Log(const std::wstring& message) const;
    void Report(ServiceEvent event, const std::vector<std::wstring>& inserts) const;
    // Lets the recorded core go (its job ends it if it still runs).
    void Forget();
    // Records a core that outlived its settle time, watching for its end.
    void Record(UniqueHandle job, CreatedCore created);

    // The steps of a start; `marks` gets the logs' lengths before the core
    // runs.
    CoreStartOutcome Start(const std::wstring& configPath, const CallerReadAccess& reader,
                           CoreLogMarks& marks);
    Win32Result<CheckedConfiguration> ReadConfiguration(const std::wstring& configPath,
                                                        const CallerReadAccess& reader);
    CoreStartOutcome RefuseConfiguration(const std::wstring& configPath, const Refusal& refusal);
    Win32Status WriteConfigurationCopy(const std::string& bytes);
    Win32Result<OpenedRuntimeLog> OpenRuntimeLog();
    void ReportMovedAside(const std::wstring& path, const std::wstring& movedTo,
                          const std::wstring& usedPath);
    Win32Result<CreatedCore> CreateCore(HANDLE log, HANDLE job);

    CoreProcessSettings settings_;
    std::mutex xrayMutex;
    CoreSession session_;
};

}  // namespace velk
