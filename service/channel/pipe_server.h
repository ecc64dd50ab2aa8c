#pragma once
// The service's named pipe server: one client at a time, one request and one
// response per connection.
#ifdef _WIN32
#include <windows.h>

#include <functional>
#include <string>

#include "service/channel/command_dispatcher.h"
#include "service/service_constants.h"

namespace velk {

struct PipeServerOptions {
    std::wstring pipeName = kPipeName;
    // How long a connected client may take to write its request, and again
    // to take its response, before it is disconnected.
    DWORD clientStallTimeoutMs = kClientStallTimeoutMs;
    // Pause after an instance could not be created.
    DWORD createRetryMs = kPipeCreateRetryMs;
};

using RequestHandlerFn = std::function<std::wstring(const std::wstring&)>;

// Serves the pipe until `stopEvent` (a manual-reset event) is set, then
// returns. Logs "Pipe server loop started." and "Pipe server loop stopped.".
//
// Every instance rejects remote clients and carries the DACL of
// PipeSecurityDescriptorSddl(); when that descriptor cannot be built the
// instance is not created ("CreateNamedPipeW failed.", retried after
// createRetryMs). The name stays owned for the whole run: the next instance
// is created before the current one is closed, and the first one with
// FILE_FLAG_FIRST_PIPE_INSTANCE, so that a pipe someone else already holds is
// never joined; the server then keeps retrying until that pipe is gone.
//
// A set `stopEvent` ends the wait for a client and the wait for a request at
// once. A request that has been read is always handed to `handleRequest` and
// its response written; the client then has clientStallTimeoutMs to take it.
// No thread is started.
void RunPipeServer(HANDLE stopEvent, const RequestHandlerFn& handleRequest, const ServiceLogFn& log,
                   const PipeServerOptions& options = {});

// Opens the pipe `pipeName` as a client with the rights the pipe's DACL gives
// users (kPipeClientAccess); an invalid handle on failure, with GetLastError
// set.
HANDLE OpenPipeAsClient(const std::wstring& pipeName, DWORD flagsAndAttributes = 0);

}  // namespace velk
#endif
