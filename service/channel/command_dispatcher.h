#pragma once
#include <functional>
#include <string>

#include "common/log_sink.h"
#include "service/supervision/command_operations.h"

namespace velk {

// Turns one request line into one response line, reaching processes and files
// only through `operations` and logging only through `log` (WriteServiceLog in
// the service). Never throws; every input gets a response line.
std::wstring HandleCommand(const std::wstring& request, CommandOperations& operations,
                           const LogSink& log);

}  // namespace velk
