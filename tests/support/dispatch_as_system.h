#pragma once
// One request handled for LocalSystem, with sessions of its own: for tests of
// what the dispatcher does with a request, not of who may send it.
#include <string>

#include "service/channel/command_dispatcher.h"
#include "tests/support/direct_caller.h"

namespace velk::test_support {

inline std::wstring HandleAsSystem(const std::wstring& request, CommandOperations& operations,
                                   const LogSink& log) {
    DirectCaller caller;
    SessionAccess sessions;
    return HandleCommand(request, caller, sessions, operations, log);
}

}  // namespace velk::test_support
