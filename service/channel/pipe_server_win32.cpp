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

// The pipe's one instance, created as the first of its name; invalid on
// failure with GetLastError set. Without its descriptor no instance is made:
// a NULL DACL would let any local process rewrite the pipe's security.
UniqueHandle CreateInstance(const std::wstring& name) {
    const UniqueSecurityDescriptor descriptor = BuildPipeSecurityDescriptor();
    if (!descriptor) {
        return {};
    }
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor.get();
    attributes.bInheritHandle = FALSE;
    UniqueHandle pipe(CreateNamedPipeW(name.c_str(), kPipeOpenMode | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                       kPipeInstanceMode, kPipeMaxInstances, kPipeBufferBytes,
                                       kPipeBufferBytes, 0, &attributes));
    // Not every platform honours FILE_FLAG_FIRST_PIPE_INSTANCE (Wine joins the
    // existing pipe), so an instance that finds company gives the name up.
    DWORD instances = 0;
    if (pipe &&
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

// How long the operations on one connection may wait: up to a bound
// (INFINITE: none), and, once the stop event is seen set, no more than a
// grace from that moment (0: the stop ends the wait at once). The stop
// deadline, once set, holds for every later wait of the connection.
class WaitBudget {
  public:
    WaitBudget(HANDLE stopEvent, DWORD graceAfterStopMs)
        : stopEvent_(stopEvent), graceMs_(graceAfterStopMs) {}

    // Starts a new bound of `timeoutMs` for the next operations.
    void Bound(DWORD timeoutMs) {
        unbounded_ = timeoutMs == INFINITE;
        deadline_ = GetTickCount64() + (unbounded_ ? 0 : timeoutMs);
    }
    void Grace(DWORD graceAfterStopMs) { graceMs_ = graceAfterStopMs; }

    bool StopSeen() const { return stopSeen_; }

    // Waits for `ioEvent`; true when it was set within the budget.
    bool Wait(HANDLE ioEvent) {
        for (;;) {
            const DWORD left = Remaining();
            if (left == 0) {
                return WaitForSingleObject(ioEvent, 0) == WAIT_OBJECT_0;
            }
            if (stopSeen_ || stopEvent_ == nullptr) {
                return WaitForSingleObject(ioEvent, left) == WAIT_OBJECT_0;
            }
            // The operation comes first, so a finished one is taken even when
            // the stop is set as well.
            HANDLE events[2] = {ioEvent, stopEvent_};
            const DWORD wait = WaitForMultipleObjects(2, events, FALSE, left);
            if (wait == WAIT_OBJECT_0) {
                return true;
            }
            if (wait != WAIT_OBJECT_0 + 1) {
                return false;
            }
            stopSeen_ = true;
            stopDeadline_ = GetTickCount64() + graceMs_;
        }
    }

  private:
    DWORD Remaining() const {
        const ULONGLONG now = GetTickCount64();
        ULONGLONG until = unbounded_ ? ~0ULL : deadline_;
        if (stopSeen_ && stopDeadline_ < until) {
            until = stopDeadline_;
        }
        if (until == ~0ULL) {
            return INFINITE;
        }
        if (until <= now) {
            return 0;
        }
        const ULONGLONG left = until - now;
        return left >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(left);
    }

    HANDLE stopEvent_;
    DWORD graceMs_;
    bool unbounded_ = true;
    ULONGLONG deadline_ = 0;
    bool stopSeen_ = false;
    ULONGLONG stopDeadline_ = 0;
};

enum class IoOutcome { Completed, Failed, Abandoned };

struct IoResult {
    IoOutcome outcome = IoOutcome::Failed;
    DWORD bytes = 0;
    DWORD error = 0;
};

// One overlapped operation on the instance, waited for within a budget. An
// operation that is given up is cancelled and its cancellation awaited, so
// the record and the buffer are free again when this returns.
class PipeIo {
  public:
    PipeIo(HANDLE pipe, HANDLE ioEvent) : pipe_(pipe), ioEvent_(ioEvent) {}

    IoResult Connect(WaitBudget& budget) {
        Begin();
        if (ConnectNamedPipe(pipe_, &overlapped_)) {
            return {IoOutcome::Completed, 0, 0};
        }
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) {
            return {IoOutcome::Completed, 0, 0};
        }
        return Await(error, budget);
    }

    IoResult Read(void* buffer, DWORD size, WaitBudget& budget) {
        Begin();
        if (ReadFile(pipe_, buffer, size, nullptr, &overlapped_)) {
            return Finished();
        }
        return Await(GetLastError(), budget);
    }

    IoResult Write(const void* bytes, DWORD size, WaitBudget& budget) {
        Begin();
        if (WriteFile(pipe_, bytes, size, nullptr, &overlapped_)) {
            return Finished();
        }
        return Await(GetLastError(), budget);
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

    IoResult Await(DWORD startError, WaitBudget& budget) {
        if (startError != ERROR_IO_PENDING) {
            return {IoOutcome::Failed, 0, startError};
        }
        if (budget.Wait(ioEvent_)) {
            return Finished();
        }
        CancelIoEx(pipe_, &overlapped_);
        DWORD ignored = 0;
        GetOverlappedResult(pipe_, &overlapped_, &ignored, TRUE);
        return {IoOutcome::Abandoned, 0, 0};
    }

    HANDLE pipe_;
    HANDLE ioEvent_;
    OVERLAPPED overlapped_{};
};

// After the response the client reads it and closes its end. Disconnecting
// earlier would throw away what it has not read yet, so wait for the close,
// discarding anything else it writes (the rest of a split request), within
// the budget. This stands in for FlushFileBuffers, which has no bound.
void AwaitClientClose(PipeIo& io, WaitBudget& budget) {
    std::vector<unsigned char> scratch(kPipeBufferBytes);
    for (;;) {
        const IoResult read = io.Read(scratch.data(), static_cast<DWORD>(scratch.size()), budget);
        const bool moreOfAMessage =
            read.outcome == IoOutcome::Failed && read.error == ERROR_MORE_DATA;
        if (read.outcome != IoOutcome::Completed && !moreOfAMessage) {
            return;
        }
    }
}

void ServeClient(PipeIo& io, HANDLE stopEvent, const RequestHandlerFn& handleRequest,
                 DWORD stallTimeoutMs) {
    // Until the request is in, a stop ends the wait at once.
    WaitBudget budget(stopEvent, 0);
    budget.Bound(stallTimeoutMs);
    // One spare code unit beyond the longest request, so the buffer always
    // ends in a NUL code unit.
    std::vector<unsigned char> buffer(kPipeBufferBytes, 0);
    const IoResult read = io.Read(buffer.data(), kMaxRequestBytes, budget);
    if (read.outcome != IoOutcome::Completed || read.bytes == 0) {
        return;
    }
    const std::wstring response = handleRequest(DecodeRequest(buffer.data(), read.bytes));
    const std::string message = EncodeResponse(response);
    // The answer is written even when a stop came meanwhile; the client then
    // has a short grace to take it.
    budget.Grace(kPipeStopGraceMs);
    budget.Bound(stallTimeoutMs);
    const IoResult written = io.Write(message.data(), static_cast<DWORD>(message.size()), budget);
    if (written.outcome != IoOutcome::Completed) {
        return;
    }
    budget.Bound(stallTimeoutMs);
    AwaitClientClose(io, budget);
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
    UniqueHandle instance;
    // Set when the instance was just made because the previous one failed, so
    // that an instance that keeps failing is not remade in a busy loop.
    bool remade = false;
    while (!IsSet(stopEvent)) {
        if (!ioEvent) {
            ioEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        }
        if (!instance && ioEvent) {
            instance = CreateInstance(options.pipeName);
        }
        if (!instance) {
            const DWORD error = GetLastError();
            log(L"CreateNamedPipeW failed.");
            if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY) {
                log(L"Pipe name already held by another process.");
            }
            WaitForSingleObject(stopEvent, options.createRetryMs);
            continue;
        }

        PipeIo io(instance.Get(), ioEvent.Get());
        WaitBudget untilStop(stopEvent, 0);
        untilStop.Bound(INFINITE);
        const IoResult connected = io.Connect(untilStop);
        if (untilStop.StopSeen()) {
            break;
        }
        bool usable = true;
        if (connected.outcome == IoOutcome::Completed) {
            ServeClient(io, stopEvent, handleRequest, options.clientStallTimeoutMs);
            remade = false;
        } else if (connected.error != ERROR_NO_DATA) {
            // ERROR_NO_DATA is a client that came and went before the connect;
            // anything else leaves the instance in doubt.
            usable = false;
        }
        if (IsSet(stopEvent)) {
            break;
        }
        // The same instance serves the next client, so the name is never free.
        if (!usable || !DisconnectNamedPipe(instance.Get())) {
            instance.Reset();
            if (remade) {
                WaitForSingleObject(stopEvent, options.createRetryMs);
            }
            remade = true;
        }
    }
    if (instance) {
        DisconnectNamedPipe(instance.Get());
    }
    log(L"Pipe server loop stopped.");
}

}  // namespace velk
