#pragma once
// How a client opens the service pipe.
#include <windows.h>

#include <string>

#include "common/unique_handle.h"
#include "common/win32_result.h"

namespace velk {

// How clients open the pipe: the server may learn who they are but not act as
// them, so that whoever holds the name (a squatter while the service is not
// running) cannot use the identity of a client running as SYSTEM or an
// administrator.
inline constexpr DWORD kPipeClientOpenFlags = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

// Opens the pipe `pipeName` as a client for reading and writing
// (kPipeClientAccess) with `flagsAndAttributes`, by default at identification
// level. The error is CreateFileW's: ERROR_PIPE_BUSY while every instance is
// taken, ERROR_FILE_NOT_FOUND while no instance exists.
Win32Result<UniqueHandle> OpenPipeAsClient(const std::wstring& pipeName,
                                           DWORD flagsAndAttributes = kPipeClientOpenFlags);

}  // namespace velk
