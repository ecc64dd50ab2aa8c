#pragma once
// The flag and code an answer on the pipe carries.
#include <cstdint>

#include "common/win32_result.h"

namespace velk {

// A success flag and a 32-bit unsigned code: 0, a system error code or a
// child's exit code.
struct OpResult {
    bool ok = false;
    std::uint32_t code = 0;
};

// A failed Windows call as the dispatcher reports it: its error code.
inline OpResult FailedOp(const Win32Error& error) {
    return OpResult{false, error.code};
}

}  // namespace velk
