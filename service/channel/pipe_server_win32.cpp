#include "service/channel/pipe_server.h"

#include <sddl.h>

#include <memory>
#include <vector>

#include "common/unique_handle.h"
#include "service/channel/pipe_framing.h"
#include "service/channel/pipe_security.h"

namespace velk {
namespace {

struct LocalMemoryFree {
    void operator()(void* memory) const {
        if (memory != nullptr) {
            LocalFree(memory);
        }
    }
};
using UniqueSecurityDescriptor = std::unique_ptr<void, LocalMemoryFree>;

UniqueSecurityDescriptor BuildPipeSecurityDescriptor() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            PipeSecurityDescriptorSddl().c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return {};
    }
    return UniqueSecurityDescriptor(descriptor);
}

// One instance with the fixed settings; invalid on failure with GetLastError
// set. Without its descriptor no instance is made: a NULL DACL would let any
// local process rewrite the pipe's security.
UniqueHandle CreateInstance(const std::wstring& name, bool first) {
    const UniqueSecurityDescriptor descriptor = BuildPipeSecurityDescriptor();
    if (!descriptor) {
        return {};
    }
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor.get();
    attributes.bInheritHandle = FALSE;
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    if (first) {
        openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
    }
    const DWORD pipeMode =
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
    UniqueHandle pipe(CreateNamedPipeW(name.c_str(), openMode, pipeMode, PIPE_UNLIMITED_INSTANCES,
                                       kPipeBufferBytes, kPipeBufferBytes, 0, &attributes));
    // Not every platform honours FILE_FLAG_FIRST_PIPE_INSTANCE (Wine joins the
    // existing pipe), so a first instance that finds company gives the name up.
    DWORD instances = 0;
    if (pipe && first &&
        (!GetNamedPipeHandleStateW(pipe.Get(), nullptr, &instances, nullptr, nullptr, nullptr, 0) ||
         instances != 1)) {
        pipe.Reset();
        SetLastError(ERROR_ACCESS_DENIED);
    }
    return pipe;
}

bool IsSet(HANDLE event) {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

enum class IoOutcome { Completed, Failed, TimedOut, Stopped };

struct IoResult {
    IoOutcome outcome = IoOutcome::Failed;
    DWORD bytes = 0;
    DWORD error = 0;
};

// One overlapped operation on an instance, waited for with a bound and,
// when `stopEvent` is given, cut short by it. An operation that is given up
// is cancelled and its cancellation awaited, so the record and the buffer are
// free again when this returns.
class PipeIo {
  public:
    PipeIo(HANDLE pipe, HANDLE ioEvent) : pipe_(pipe), ioEvent_(ioEvent) {}

    IoResult Connect(HANDLE stopEvent) {
        Begin();
        if (ConnectNamedPipe(pipe_, &overlapped_)) {
            return {IoOutcome::Completed, 0, 0};
        }
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) {
            return {IoOutcome::Completed, 0, 0};
        }
        return Await(error, stopEvent, INFINITE);
    }

    IoResult Read(void* buffer, DWORD size, HANDLE stopEvent, DWORD timeoutMs) {
        Begin();
        if (ReadFile(pipe_, buffer, size, nullptr, &overlapped_)) {
            return Finished();
        }
        return Await(GetLastError(), stopEvent, timeoutMs);
    }

    IoResult Write(const void* bytes, DWORD size, DWORD timeoutMs) {
        Begin();
        if (WriteFile(pipe_, bytes, size, nullptr, &overlapped_)) {
            return Finished();
        }
        return Await(GetLastError(), nullptr, timeoutMs);
    }

  private:
    void Begin() {
        ResetEvent(ioEvent_);
        overlapped_ = OVERLAPPED{};
        overlapped_.hEvent = ioEvent_;
    }

    IoResult Finished() {
        DWORD bytes = 0;
        if (GetOverlappedResult(pipe_, &overlapped_, &bytes, FALSE)) {
            return {IoOutcome::Completed, bytes, 0};
        }
        return {IoOutcome::Failed, bytes, GetLastError()};
    }

    IoResult Await(DWORD startError, HANDLE stopEvent, DWORD timeoutMs) {
        if (startError != ERROR_IO_PENDING) {
            return {IoOutcome::Failed, 0, startError};
        }
        // The stop event comes first so that it wins when both are set.
        HANDLE events[2] = {stopEvent, ioEvent_};
        HANDLE* first = stopEvent != nullptr ? &events[0] : &events[1];
        const DWORD count = stopEvent != nullptr ? 2 : 1;
        const DWORD wait = WaitForMultipleObjects(count, first, FALSE, timeoutMs);
        if (wait == WAIT_OBJECT_0 + count - 1) {
            return Finished();
        }
        CancelIoEx(pipe_, &overlapped_);
        DWORD ignored = 0;
        GetOverlappedResult(pipe_, &overlapped_, &ignored, TRUE);
        if (wait == WAIT_TIMEOUT) {
            return {IoOutcome::TimedOut, 0, WAIT_TIMEOUT};
        }
        return {IoOutcome::Stopped, 0, 0};
    }

    HANDLE pipe_;
    HANDLE ioEvent_;
    OVERLAPPED overlapped_{};
};

// After the response the client reads it and closes its end. Disconnecting
// earlier would throw away what it has not read yet, so wait for the close,
// discarding anything else it writes (the rest of a split request), but no
// longer than `timeoutMs`. This stands in for FlushFileBuffers, which has no
// bound.
void AwaitClientClose(PipeIo& io, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    std::vector<unsigned char> scratch(kPipeBufferBytes);
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return;
        }
        const IoResult read = io.Read(scratch.data(), static_cast<DWORD>(scratch.size()), nullptr,
                                      static_cast<DWORD>(deadline - now));
        const bool moreOfAMessage =
            read.outcome == IoOutcome::Failed && read.error == ERROR_MORE_DATA;
        if (read.outcome != IoOutcome::Completed && !moreOfAMessage) {
            return;
        }
    }
}

void ServeClient(PipeIo& io, HANDLE stopEvent, const RequestHandlerFn& handleRequest,
                 DWORD stallTimeoutMs) {
    // One spare code unit beyond the longest request, so the buffer always
    // ends in a NUL code unit.
    std::vector<unsigned char> buffer(kPipeBufferBytes, 0);
    const IoResult read = io.Read(buffer.data(), kMaxRequestBytes, stopEvent, stallTimeoutMs);
    if (read.outcome != IoOutcome::Completed || read.bytes == 0) {
        return;
    }
    const std::wstring response = handleRequest(DecodeRequest(buffer.data(), read.bytes));
    const std::string message = EncodeResponse(response);
    const IoResult written =
        io.Write(message.data(), static_cast<DWORD>(message.size()), stallTimeoutMs);
    if (written.outcome != IoOutcome::Completed) {
        return;
    }
    AwaitClientClose(io, stallTimeoutMs);
}

}  // namespace

HANDLE OpenPipeAsClient(const std::wstring& pipeName, DWORD flagsAndAttributes) {
    return CreateFileW(pipeName.c_str(), kPipeClientAccess, 0, nullptr, OPEN_EXISTING,
                       flagsAndAttributes, nullptr);
}

void RunPipeServer(HANDLE stopEvent, const RequestHandlerFn& handleRequest, const ServiceLogFn& log,
                   const PipeServerOptions& options) {
    log(L"Pipe server loop started.");
    UniqueHandle ioEvent;
    UniqueHandle current;
    while (!IsSet(stopEvent)) {
        if (!ioEvent) {
            ioEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        }
        if (!current && ioEvent) {
            current = CreateInstance(options.pipeName, true);
        }
        if (!current) {
            const DWORD error = GetLastError();
            log(L"CreateNamedPipeW failed.");
            if (error == ERROR_ACCESS_DENIED) {
                log(L"Pipe name already held by another process.");
            }
            WaitForSingleObject(stopEvent, options.createRetryMs);
            continue;
        }

        PipeIo io(current.Get(), ioEvent.Get());
        const IoResult connected = io.Connect(stopEvent);
        if (connected.outcome == IoOutcome::Stopped) {
            break;
        }
        if (connected.outcome == IoOutcome::Completed) {
            ServeClient(io, stopEvent, handleRequest, options.clientStallTimeoutMs);
        }

        if (IsSet(stopEvent)) {
            break;
        }
        // The next instance exists before this one goes, so the name is never
        // free for another process to take.
        UniqueHandle next = CreateInstance(options.pipeName, false);
        DisconnectNamedPipe(current.Get());
        if (next) {
            current = std::move(next);
        } else {
            // Keep serving on the instance we hold rather than let the name go.
            log(L"CreateNamedPipeW failed.");
        }
    }
    if (current) {
        DisconnectNamedPipe(current.Get());
    }
    log(L"Pipe server loop stopped.");
}

}  // namespace velk
