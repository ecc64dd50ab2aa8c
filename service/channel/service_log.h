#pragma once
// The service log: off unless the build switches it on (VELK_SERVICE_LOG).
// When on, each message is appended as one timestamped entry to
// kServiceLogPath, opening and closing the file for every entry.
#include <string>

#include "common/log_entry.h"

namespace velk {

// The switch, set by the build (VELK_SERVICE_LOG) and turned on by the test
// service program.
void EnableServiceLog(bool enabled);
bool ServiceLogEnabled();

// Never fails to its caller; a line that cannot be written is lost.
void WriteServiceLog(const std::wstring& message);

// Where the entries go: kServiceLogPath and the local clock unless a test has
// redirected it.
LogTarget& ServiceLogTarget();

}  // namespace velk
