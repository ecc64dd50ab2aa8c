#pragma once
// Putting back the routing that netsteer saved, for the times when no client
// will: when the service starts or stops while the machine is routed into a
// tunnel whose core is gone, and before the installers remove the programs.
#include <cstdint>
#include <functional>
#include <string>

#include "common/log_sink.h"
#include "netsteer/netsteer_constants.h"
#include "service/service_constants.h"

namespace velk {

struct RouteRestoreSettings {
    // Where netsteer.exe is taken from, with its trailing separator; also its
    // working directory.
    std::wstring programDirectory;
    std::wstring stateFilePath = netsteer::kStateFilePath;
    // When this happens, in the words of the log line that starts the run
    // ("before removal", "at service start").
    std::wstring occasion;
    std::uint32_t timeoutMs = kHelperTimeoutMs;
    // Each step and the outcome, one message each.
    LogSink log;
    // While netsteer runs: called about every kStopProgressIntervalMs with the
    // longest the run may still take.
    std::function<void(std::uint32_t remainingMs)> progress;
};

enum class RouteRestoreOutcome {
    kNothingSaved,   // no state file: nothing was run
    kRestored,       // netsteer stop ended with 0
    kStateUnusable,  // a state file netsteer would refuse: nothing was run
    kNotRestored,    // netsteer stop ended otherwise, or could not be run
};

struct RouteRestoreResult {
    RouteRestoreOutcome outcome = RouteRestoreOutcome::kNothingSaved;
    // netsteer's exit code or the Windows error; 0 unless not restored.
    std::uint32_t code = 0;
    // The outcome as logged.
    std::wstring detail;
    // The server recorded in the state file; empty when none could be read.
    std::wstring server;
};

// When the state file holds a usable record, runs
// "<programDirectory>netsteer.exe stop "<server from the file>"" in a
// kill-on-close job and waits at most timeoutMs, as the service waits for a
// helper. Logs the run and its outcome (nothing when there is no state file).
RouteRestoreResult RestoreSavedRouting(const RouteRestoreSettings& settings);

// Runs "<programDirectory>netsteer.exe clear-dns" as RestoreSavedRouting runs
// a stop, whatever the state file says: a DNS rule netsteer added outlives a
// restart, and a machine routed into no tunnel must not keep sending its
// names to the tunnel's servers. Logs only a run that did not end with 0.
void ClearLeftoverDnsRules(const RouteRestoreSettings& settings);

}  // namespace velk
