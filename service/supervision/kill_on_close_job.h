#pragma once
// Job objects that tie children to the service: closing the service's last
// handle to the job, which happens at the latest when the service process
// dies, ends every process in it.
#include <windows.h>

#include "common/unique_handle.h"
#include "common/win32_result.h"

namespace velk {

// A new job with JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE, or the failed call.
Win32Result<UniqueHandle> CreateKillOnCloseJob();

// How many processes in the job are still running; 0 when it cannot be read.
DWORD ActiveJobProcesses(HANDLE job);

}  // namespace velk
