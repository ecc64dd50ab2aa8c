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

// The settings of the pipe's one instance.
// Duplex; overlapped, so that every wait can also watch the stop event.
inline constexpr DWORD kPipeOpenMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
// Message-type, read in message mode, blocking, and local clients only.
inline constexpr DWORD kPipeInstanceMode =
    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
// One instance, held for the whole run: while the service has it no one else
// can create an instance of the name, whatever their rights.
inline constexpr DWORD kPipeMaxInstances = 1;

// How clients open the pipe: the server may learn who they are but not act as
// them, so that whoever holds the name (a squatter while the service is not
// running) cannot use the identity of a client running as SYSTEM or an
// administrator.
inline constexpr DWORD kPipeClientOpenFlags = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

struct PipeServerOptions {
    std::wstring pipeName = kPipeName;
    // How long a connected client may take to write its request, and again
    // to take its response, before it is disconnected. INFINITE: no bound.
    DWORD clientStallTimeoutMs = kClientStallTimeoutMs;
    // Pause after an instance could not be created.
    DWORD createRetryMs = kPipeCreateRetryMs;
};

using RequestHandlerFn = std::function<std::wstring(const std::wstring&)>;

// Serves the pipe until `stopEvent` (a manual-reset event) is set, then
// returns. Logs "Pipe server loop started." and "Pipe server loop stopped.".
//
// The pipe has a single instance (kPipeMaxInstances), created with
// FILE_FLAG_FIRST_PIPE_INSTANCE, rejecting remote clients and carrying the
// DACL of PipeSecurityDescriptorSddl(). Every client is served on that one
// instance, disconnected and the instance reused, so the name stays owned for
// the whole run. Only an instance that can no longer be used is closed and a
// new first instance created. When the descriptor cannot be built, or the
// name is held by someone else, no instance is made ("CreateNamedPipeW
// failed.", retried after createRetryMs).
//
// A set `stopEvent` ends the wait for a client and the wait for a request at
// once. A request that has been read is always handed to `handleRequest` and
// its response written; the client then has clientStallTimeoutMs to take it,
// or kPipeStopGraceMs once a stop has been asked for. No thread is started.
void RunPipeServer(HANDLE stopEvent, const RequestHandlerFn& handleRequest, const ServiceLogFn& log,
                   const PipeServerOptions& options = {});

// Opens the pipe `pipeName` as a client for reading and writing
// (kPipeClientAccess) with `flagsAndAttributes`, by default at identification
// level; an invalid handle on failure, with GetLastError set.
HANDLE OpenPipeAsClient(const std::wstring& pipeName,
                        DWORD flagsAndAttributes = kPipeClientOpenFlags);

}  // namespace velk
#endif
