#pragma once
#include <functional>
#include <string>

#include "common/log_sink.h"
#include "service/channel/session_access.h"
#include "service/channel/request_caller.h"
#include "service/supervision/command_operations.h"

namespace velk {

// Turns one request line from `caller` into one response line, reaching
// processes and files only through `operations` and logging only through `log`
// (WriteServiceLog in the service). Never throws; every input gets a response
// line.
//
// The words, their guards and their handlers are the action table's
// (service/policy/action_table.h). Malformed or unknown requests get their
// usual answers. A guarded action is first put to `sessions`, before
// anything else is done: a caller it does not admit is answered
// "ok=false;exitCode=5;message=access denied".
std::wstring HandleCommand(const std::wstring& request, RequestCaller& caller,
                           SessionAccess& sessions, CommandOperations& operations,
                           const LogSink& log);

}  // namespace velk
