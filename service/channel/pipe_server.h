#pragma once
// The service's named pipe server: eight instances, so eight clients can be
// connected at once; one request and one response per connection, and the
// requests carried out one at a time.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

#include "service/channel/command_dispatcher.h"
#include "service/service_constants.h"

namespace velk {

// The settings of every instance of the pipe.
// Duplex; overlapped, so that every wait can also watch the stop event.
inline constexpr DWORD kPipeOpenMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
// Message-type, read in message mode, blocking, and local clients only.
inline constexpr DWORD kPipeInstanceMode =
    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
// Every instance the name allows. Authenticated users hold the right to add
// an instance (FILE_CREATE_PIPE_INSTANCE is FILE_APPEND_DATA, part of the
// FILE_GENERIC_WRITE that an ordinary GENERIC_WRITE client is granted), so
// the DACL cannot keep them from it. What does is the count: the server
// makes all of them, the first with FILE_FLAG_FIRST_PIPE_INSTANCE, and holds
// all of them for the whole run; a client's instance is disconnected and
// offered again, never closed and made anew, so the name never has room for
// one more (CreateNamedPipeW then fails with ERROR_PIPE_BUSY).
inline constexpr DWORD kPipeMaxInstances = 8;
// No output buffer: a write of an answer completes only once the client has
// read all of it, so the server knows when it may let the client go.
inline constexpr DWORD kPipeOutBufferBytes = 0;

struct PipeServerOptions {
    std::wstring pipeName = kPipeName;
    // How long a connected client may take to write its request, and again
    // to take its response, before it is disconnected. INFINITE: no bound.
    DWORD clientStallTimeoutMs = kClientStallTimeoutMs;
    // Pause after an instance could not be created or offered again.
    DWORD createRetryMs = kPipeCreateRetryMs;
    // While every instance is taken, a client silent this long after
    // connecting, or leaving its answer untaken this long, is let go to make
    // room; while a process holds more than instancesPerProcess instances,
    // only its clients are let go.
    DWORD roomGraceMs = kPipeRoomGraceMs;
    std::size_t instancesPerProcess = kPipeInstancesPerProcess;
    // Runs once, on the calling thread, as soon as every instance is there
    // and listening (or at once when none can be made), before any request
    // is read: start-up work that must not leave the name free for another
    // process to take meanwhile. Clients that connect while it runs are
    // served after it, in the order they came.
    std::function<void()> onceListening;
};

// Carries out the requests the pipe server reads.
class RequestHandler {
  public:
    virtual ~RequestHandler() = default;

    // Carries out one request and gives its answer. `client` is the connected
    // pipe instance the request came on, valid for the duration of the call
    // only (for learning who the caller is: ImpersonateNamedPipeClient,
    // GetNamedPipeClientProcessId).
    virtual std::wstring Handle(const std::wstring& request, HANDLE client) = 0;
};

// Serves the pipe until `stopEvent` (a manual-reset event) is set, then
// returns. Logs "Pipe server loop started." and "Pipe server loop stopped.".
//
// The pipe has kPipeMaxInstances instances, the first created with
// FILE_FLAG_FIRST_PIPE_INSTANCE, all rejecting remote clients and carrying the
// DACL of PipeSecurityDescriptorSddl(). Each instance is disconnected and
// offered again after its client; one that cannot be is kept as it is and
// tried again after createRetryMs, so the server holds every instance the
// name allows for the whole run. The name is given up only at the stop, and
// when it turns out to be served by someone else too: CreateNamedPipeW fails
// with ERROR_ACCESS_DENIED or ERROR_PIPE_BUSY ("CreateNamedPipeW failed."),
// or an instance made before all of ours is found by the count of instances
// after each creation ("Pipe instance given up: <reason>."); either way
// "Pipe name already held by another process.", and the name is taken again
// after createRetryMs once it is free. Without its descriptor no instance is
// made.
//
// Every instance waits for its client's request at the same time, each within
// clientStallTimeoutMs of its connection. When every instance is taken, one
// client at a time is let go (ChooseClientToLetGo): among those that have
// written nothing for roomGraceMs since connecting or left their answer
// untaken for roomGraceMs, the one that connected first; but while a process
// holds more than instancesPerProcess instances (GetNamedPipeClientProcessId,
// asked only then), only its clients are let go. So an instance is always free
// again within the grace, however many clients connect and stay silent or
// never read; the server cannot see clients waiting in WaitNamedPipe, so it
// makes this room whether anyone waits or not. A request read is always
// carried out, and a client that takes its answer promptly is never let go
// for room.
// Requests are handed to `handleRequest` one at a time, in the
// order they arrived: as their reads complete, and for clients that came
// while a request was being carried out, in the order those clients
// connected. The client then has clientStallTimeoutMs to take the answer and
// is disconnected as soon as it has taken all of it.
//
// A set `stopEvent` ends every wait for a client or a request at once, and
// requests read but not yet handed on are dropped unanswered. A request being
// handled is still answered; once a stop has been asked for, a client gets
// kPipeStopGraceMs (from the stop, or from the write if later) to take its
// answer. No thread is started.
void RunPipeServer(HANDLE stopEvent, RequestHandler& handleRequest, const LogSink& log,
                   const PipeServerOptions& options = {});

}  // namespace velk
