#pragma once
#include <functional>
#include <string>

#include "common/log_sink.h"
#include "service/channel/request_caller.h"
#include "service/supervision/command_operations.h"

namespace velk {

// Turns one request line from `caller` into one response line, reaching
// processes and files only through `operations` and logging only through `log`
// (WriteServiceLog in the service). Never throws; every input gets a response
// line.
std::wstring HandleCommand(const std::wstring& request, RequestCaller& caller,
                           CommandOperations& operations, const LogSink& log);

}  // namespace velk
