#pragma once
// The caller's configuration file, read once while acting as the caller, so
// that a caller can only hand the core (which runs as SYSTEM) a file it could
// read itself, and the core gets exactly the bytes that were checked.
#include <cstdint>
#include <string>

#include "common/win32_result.h"
#include "service/supervision/command_operations.h"

namespace velk {

struct CallerConfig {
    std::string bytes;     // the whole file; empty when refused
    std::wstring problem;  // why the file is refused; empty when it is not
};

// Reads the file at `path` (whose text ConfigPathProblem accepted) inside
// `asCaller`. Refused: a link or junction at any step of the path, a handle
// that is not a disk file or resolves to another path, a file larger than
// `maxBytes`. The failed call when the caller's identity could not be taken
// or the file could not be opened or read as the caller.
Win32Result<CallerConfig> ReadCallerConfig(const std::wstring& path, const AsCaller& asCaller,
                                           std::uint64_t maxBytes);

}  // namespace velk
