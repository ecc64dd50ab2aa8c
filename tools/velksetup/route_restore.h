#pragma once
// Before the programs are removed: the routing that netsteer saved is put
// back, so that the machine is never left routed into a tunnel that is gone.
#include <string>

#include "tools/velksetup/restart_policy.h"

namespace velk::setup {

// When the route state file holds a usable record, runs
// "<programDirectory>netsteer.exe stop <server from the file>" and waits for
// it as long as the service waits for a helper. Each outcome is written to
// the helper log with kRestoreLogPrefix. No state file: ok, nothing run.
// A state file that cannot be used, or a netsteer run that did not end with
// 0: not ok (code: netsteer's exit code or the Windows error).
SetupResult RestoreSavedRouting(const std::wstring& programDirectory);

}  // namespace velk::setup
