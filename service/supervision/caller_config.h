#pragma once
// The caller's configuration file, read once by the service after the
// file's own security said the caller may read it, so that a caller can only
// hand the core (which runs as SYSTEM) a file it could read itself.
#include <cstdint>
#include <string>

#include "common/win32_result.h"
#include "service/supervision/command_operations.h"

namespace velk {

struct CallerConfig {
    std::string bytes;     // the whole file; empty when refused
    std::wstring problem;  // why the file is refused; empty when it is not
};

// Opens the file at `path` (whose text ConfigPathProblem accepted), asks
// `reader` about that very handle, and reads it through the same handle.
// Refused: a link or junction at any step of the path, a handle that is not a
// disk file or resolves to another path, a file larger than `maxBytes`. The
// failed call when the file could not be opened or read, or what `reader`
// answered when it was not Done (ERROR_ACCESS_DENIED for a file the caller
// may not read).
Win32Result<CallerConfig> ReadCallerConfig(const std::wstring& path, const CallerReadAccess& reader,
                                           std::uint64_t maxBytes);

}  // namespace velk
