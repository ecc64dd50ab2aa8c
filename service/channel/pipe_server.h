#pragma once
// The service's named pipe server: one client at a time, one request and one
// response per connection.
#include <windows.h>

#include <functional>
#include <string>

#include "common/unique_handle.h"
#include "common/win32_result.h"
#include "service/channel/command_dispatcher.h"
#include "service/service_constants.h"

namespace velk {

// The settings of the pipe's one instance.
// Duplex; overlapped, so that every wait can also watch the stop event.
inline constexpr DWORD kPipeOpenMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
// Message-type, read in message mode, blocking, and local clients only.
inline constexpr DWORD kPipeInstanceMode =
    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
// Every instance the name allows, all made and held by the service for the
// whole run: no one else can add one, whatever their rights, and a client
// that connects and stays silent takes up only one of them.
inline constexpr DWORD kPipeMaxInstances = 8;
// No output buffer: a write of an answer completes only once the client has
// read all of it, so the server knows when it may let the client go.
inline constexpr DWORD kPipeOutBufferBytes = 0;

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

// Carries out one request. `client` is the connected pipe instance the request
// came on, valid for the duration of the call only (for learning who the
// caller is: ImpersonateNamedPipeClient, GetNamedPipeClientProcessId).
using RequestHandlerFn = std::function<std::wstring(const std::wstring& request, HANDLE client)>;

// Serves the pipe until `stopEvent` (a manual-reset event) is set, then
// returns. Logs "Pipe server loop started." and "Pipe server loop stopped.".
//
// The pipe has kPipeMaxInstances instances, the first created with
// FILE_FLAG_FIRST_PIPE_INSTANCE, all rejecting remote clients and carrying the
// DACL of PipeSecurityDescriptorSddl(). Each instance is disconnected and
// reused after its client, so the name stays owned for the whole run; only an
// instance that can no longer be used is closed and made anew. When the
// descriptor cannot be built, or the name is held by someone else, our
// instances are given up ("CreateNamedPipeW failed.", retried after
// createRetryMs).
//
// Every instance waits for its client's request at the same time, each within
// clientStallTimeoutMs of its connection, so a silent client holds up no one
// else. Requests are handed to `handleRequest` one at a time, in the order
// they arrived: as their reads complete, and for clients that came while a
// request was being carried out, in the order those clients connected. The
// client then has clientStallTimeoutMs to take the answer and is
// disconnected as soon as it has taken all of it.
//
// A set `stopEvent` ends every wait for a client or a request at once, and
// requests read but not yet handed on are dropped unanswered. A request being
// handled is still answered; once a stop has been asked for, a client gets
// kPipeStopGraceMs (from the stop, or from the write if later) to take its
// answer. No thread is started.
void RunPipeServer(HANDLE stopEvent, const RequestHandlerFn& handleRequest, const LogSink& log,
                   const PipeServerOptions& options = {});

// Opens the pipe `pipeName` as a client for reading and writing
// (kPipeClientAccess) with `flagsAndAttributes`, by default at identification
// level.
Win32Result<UniqueHandle> OpenPipeAsClient(const std::wstring& pipeName,
                                           DWORD flagsAndAttributes = kPipeClientOpenFlags);

}  // namespace velk
