#pragma once
// The helper log: every message goes to the debugger output and, as one
// timestamped entry, to the append-only file kHelperLogPath.
#include <string>

#include "common/log_entry.h"

namespace netsteer {

// Sends message + "\n" to the debugger output, then appends the entry.
void WriteLog(const std::wstring& message);

// Appends one entry to the helper log file; failures are silent.
void AppendLogFile(const std::wstring& message);

// Where the entries go: kHelperLogPath and the local clock unless a test has
// redirected it. Not thread-safe to change while logging.
velk::LogTarget& HelperLogTarget();

// Hands text to an attached debugger (OutputDebugStringW on Windows; nothing
// elsewhere).
void OutputDebugText(const std::wstring& text);

}  // namespace netsteer
