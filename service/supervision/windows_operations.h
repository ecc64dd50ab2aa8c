#pragma once
// The Windows implementation of CommandOperations: the core process manager,
// the route helper runner, the error log reader and the module directory.
#ifdef _WIN32
#include "service/supervision/command_operations.h"

namespace velk {

// The process-wide instance; it owns the one core process slot.
CommandOperations& WindowsCommandOperations();

}  // namespace velk
#endif
