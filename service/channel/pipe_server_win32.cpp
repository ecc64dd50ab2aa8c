#include "service/channel/pipe_server.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "common/registered_wait.h"
#include "common/unique_handle.h"
#include "common/win32_result.h"
#include "service/channel/client/pipe_framing.h"
#include "service/channel/pipe_instance_maker.h"
#include "service/channel/pipe_instance_phase.h"
#include "service/channel/pipe_room.h"

namespace velk {
namespace {

bool IsSet(HANDLE event) {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

constexpr ULONGLONG kNoDeadline = ~0ULL;
static_assert(kNoDeadline == kPipeNever, "one value for 'never'");
// The completion key of the stop packet; connections use their address.
constexpr ULONG_PTR kStopKey = 0;
// How often the loop looks at the stop event when it cannot have it posted.
constexpr DWORD kPipeStopPollMs = 100;
// How long each wait for the completions of cancelled operations lasts.
constexpr DWORD kPipeCancelPollMs = 50;

ULONGLONG DeadlineAfter(DWORD timeoutMs) {
    return timeoutMs == INFINITE ? kNoDeadline : GetTickCount64() + timeoutMs;
}

// What a completion means for an instance in `phase`.
PipeEvent CompletionEvent(PipePhase phase, DWORD error) {
    switch (error) {
        case ERROR_SUCCESS:
            switch (OperationUnderWay(phase)) {
                case PipeOperation::kConnect:
                    return PipeEvent::kConnected;
                case PipeOperation::kWrite:
                    return PipeEvent::kWriteDone;
                default:
                    return PipeEvent::kReadDone;
            }
        case ERROR_PIPE_CONNECTED:
            return PipeEvent::kConnected;
        case ERROR_OPERATION_ABORTED:
            return PipeEvent::kCancelled;
        case ERROR_NO_DATA:
            return PipeEvent::kClientGone;
        default:
            return PipeEvent::kFailed;
    }
}

struct Connection {
    UniqueHandle pipe;
    OVERLAPPED overlapped{};
    PipePhase phase = PipePhase::kClosed;  // written by Apply alone
    ULONGLONG deadline = kNoDeadline;
    ULONGLONG connectedAt = 0;
    ULONGLONG writingSince = 0;  // when the answer's write began
    std::uint64_t arrival = 0;   // the order in which clients connected
    // The client's process, asked only once every instance is taken; 0 when
    // not asked yet or not known.
    ULONG clientProcessId = 0;
    bool processAsked = false;
    // Reused for every request on this instance; the read takes at most
    // kMaxRequestBytes and only the bytes read are decoded, so it is never
    // cleared.
    std::vector<unsigned char> request = std::vector<unsigned char>(kPipeBufferBytes, 0);
    DWORD requestBytes = 0;  // how many of them the last read took
    std::string response;
};

// Every instance of the pipe, served from the calling thread. Each operation
// is overlapped and reports to one completion port, which hands back
// completions in the order they happened; the stop reaches the port as a
// packet of its own, posted by a wait on the stop event, so that one wait on
// the port sees everything.
class PipeServer {
  public:
    PipeServer(HANDLE stopEvent, const RequestHandlerFn& handleRequest, const LogSink& log,
               const PipeServerOptions& options)
        : stopEvent_(stopEvent),
          handleRequest_(handleRequest),
          log_(log),
          options_(options),
          maker_(options.pipeName),
          connections_(kPipeMaxInstances) {}

    ~PipeServer() { CloseAll(); }
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // Every call to the system costs a round trip to the wine server under
    // Wine, so the loop makes as few as it can: one wait on the port for
    // everything, and the stop is known without a call before each request
    // is carried out. Without the wait on the stop event (it could not be
    // registered), the loop looks at the event itself, at least every
    // kPipeStopPollMs.
    void Run() {
        port_.Reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
        if (!port_) {
            // Nothing can be served; the stop is all there is to wait for.
            ListeningNow();
            WaitForSingleObject(stopEvent_, INFINITE);
            return;
        }
        const RegisteredWait stopWait(stopEvent_, &PipeServer::OnStop, this);
        pollStop_ = !stopWait;
        while (!StopSeen()) {
            if (!EnsureInstances()) {
                ListeningNow();
                stopSeen_ =
                    WaitForSingleObject(stopEvent_, options_.createRetryMs) == WAIT_OBJECT_0;
                continue;
            }
            RetryStuckInstances();
            OfferIdleInstances();
            if (ListeningNow()) {
                continue;  // what happened meanwhile, in order
            }
            if (!queue_.empty()) {
                if (!StopSeen()) {
                    Answer(*queue_.front());
                }
                queue_.pop_front();
                continue;
            }
            WaitForActivity();
        }
        Drain();
    }

  private:
    // Runs on a thread-pool thread once the stop event is set.
    static void CALLBACK OnStop(void* context, BOOLEAN /*timedOut*/) {
        auto* server = static_cast<PipeServer*>(context);
        server->stopPosted_ = true;
        PostQueuedCompletionStatus(server->port_.Get(), 0, kStopKey, nullptr);
    }

    // Runs the start-up work the first time it is called; true then.
    bool ListeningNow() {
        if (listened_) {
            return false;
        }
        listened_ = true;
        if (options_.onceListening) {
            options_.onceListening();
        }
        return true;
    }

  public:
    // Whether the start-up work has run (RunPipeServer runs it itself when
    // the loop never started).
    bool Listened() const { return listened_; }

  private:
    bool StopSeen() {
        if (!stopSeen_) {
            stopSeen_ = stopPosted_ || (pollStop_ && IsSet(stopEvent_));
        }
        return stopSeen_;
    }

    // Makes every missing instance. False when none could be made, or the
    // name turned out to be shared with someone else.
    bool EnsureInstances() {
        const ULONGLONG now = GetTickCount64();
        for (Connection& connection : connections_) {
            if (connection.phase != PipePhase::kClosed) {
                continue;
            }
            if (now < retryAt_) {
                break;
            }
            Win32Result<MadeInstance> made = maker_.Make(Live());
            if (made && !made.value().refusal &&
                !CreateIoCompletionPort(made.value().pipe.Get(), port_.Get(),
                                        reinterpret_cast<ULONG_PTR>(&connection), 0)) {
                made = LastError(L"CreateIoCompletionPort");
            }
            if (!made) {
                const Win32Error error = made.error();
                log_(L"CreateNamedPipeW failed.");
                log_(FailureText(error));
                // Windows refuses a first instance of a name someone else
                // serves, and an instance beyond what the name allows.
                if (PipeInstanceMaker::NameTaken(error)) {
                    GiveUpTheName();
                }
                retryAt_ = now + options_.createRetryMs;
                break;
            }
            if (made.value().refusal) {
                log_(L"Pipe instance given up: " + made.value().refusal->reason + L".");
                GiveUpTheName();
                retryAt_ = now + options_.createRetryMs;
                break;
            }
            connection.pipe = std::move(made.value().pipe);
            Apply(connection, PipeEvent::kMade);
        }
        return Live() != 0;
    }

    // Someone else serves this name too: clients could reach them instead of
    // us. Give the name up and take it again once it is free.
    void GiveUpTheName() {
        log_(L"Pipe name already held by another process.");
        CloseAll();
    }

    DWORD Live() const {
        DWORD live = 0;
        for (const Connection& connection : connections_) {
            live += connection.phase != PipePhase::kClosed ? 1 : 0;
        }
        return live;
    }

    void OfferIdleInstances() {
        for (Connection& connection : connections_) {
            Apply(connection, PipeEvent::kOffered);
        }
    }

    static void Begin(Connection& connection, ULONGLONG deadline) {
        connection.overlapped = OVERLAPPED{};
        connection.deadline = deadline;
    }

    // Whether the operation just started will report to the port; false when
    // it failed at once (no completion comes), with the error in `error`. A
    // read of a message longer than its buffer ends at once with
    // ERROR_MORE_DATA, a warning, and reports to the port all the same.
    static bool Started(BOOL result, DWORD& error) {
        error = result ? ERROR_SUCCESS : GetLastError();
        return result || error == ERROR_IO_PENDING || error == ERROR_MORE_DATA;
    }

    void Listen(Connection& connection) {
        Begin(connection, kNoDeadline);
        DWORD error = 0;
        if (Started(ConnectNamedPipe(connection.pipe.Get(), &connection.overlapped), error)) {
            return;
        }
        Apply(connection, error == ERROR_PIPE_CONNECTED ? PipeEvent::kConnected
                          : error == ERROR_NO_DATA      ? PipeEvent::kClientGone
                                                        : PipeEvent::kFailed);
    }

    void Read(Connection& connection) {
        connection.connectedAt = GetTickCount64();
        connection.arrival = ++arrivals_;
        connection.clientProcessId = 0;
        connection.processAsked = false;
        Begin(connection, DeadlineAfter(options_.clientStallTimeoutMs));
        DWORD error = 0;
        if (!Started(ReadFile(connection.pipe.Get(), connection.request.data(), kMaxRequestBytes,
                              nullptr, &connection.overlapped),
                     error)) {
            Apply(connection, PipeEvent::kFailed);
        }
    }

    // Carries out the request and starts writing its answer.
    void Answer(Connection& connection) {
        if (connection.phase != PipePhase::kQueued) {
            return;
        }
        connection.response = EncodeResponse(
            handleRequest_(DecodeRequest(connection.request.data(), connection.requestBytes),
                           connection.pipe.Get()));
        Apply(connection, PipeEvent::kAnswerReady);
    }

    // The write ends only when the client has read the whole answer (the
    // instance has no output buffer), so the connection can then be let go at
    // once.
    void Write(Connection& connection) {
        // A stop from now on shortens this bound to the grace (Drain).
        connection.writingSince = GetTickCount64();
        Begin(connection, DeadlineAfter(options_.clientStallTimeoutMs));
        DWORD error = 0;
        if (!Started(WriteFile(connection.pipe.Get(), connection.response.data(),
                               static_cast<DWORD>(connection.response.size()), nullptr,
                               &connection.overlapped),
                     error)) {
            Apply(connection, PipeEvent::kFailed);
        }
    }

    // Takes every completion that has arrived, in the order they happened,
    // waiting at most `waitMs` for the first; how many were taken.
    std::size_t TakeCompletions(DWORD waitMs = 0) {
        std::size_t taken = 0;
        for (;;) {
            OVERLAPPED_ENTRY entries[kPipeMaxInstances];
            ULONG count = 0;
            if (!GetQueuedCompletionStatusEx(port_.Get(), entries, kPipeMaxInstances, &count,
                                             waitMs, FALSE)) {
                return taken;
            }
            for (ULONG i = 0; i < count; ++i) {
                if (entries[i].lpCompletionKey == kStopKey) {
                    continue;  // stopPosted_ says it
                }
                Connection& connection = *reinterpret_cast<Connection*>(entries[i].lpCompletionKey);
                DWORD bytes = 0;
                const DWORD error = GetOverlappedResult(connection.pipe.Get(),
                                                        entries[i].lpOverlapped, &bytes, FALSE)
                                        ? ERROR_SUCCESS
                                        : GetLastError();
                Completed(connection, bytes, error);
            }
            taken += count;
            if (count < kPipeMaxInstances) {
                return taken;
            }
            waitMs = 0;
        }
    }

    void Completed(Connection& connection, DWORD bytes, DWORD error) {
        Apply(connection, CompletionEvent(connection.phase, error), bytes);
    }

    // Moves the instance on after `event` and does what that asks: the only
    // place its phase is written.
    void Apply(Connection& connection, PipeEvent event, DWORD bytes = 0) {
        const PipeStep step = NextPipeStep(connection.phase, event, bytes);
        connection.phase = step.phase;
        switch (step.action) {
            case PipeAction::kNone:
                break;
            case PipeAction::kListen:
                Listen(connection);
                break;
            case PipeAction::kRead:
                Read(connection);
                break;
            case PipeAction::kWrite:
                Write(connection);
                break;
            case PipeAction::kQueue:
                connection.requestBytes = bytes;
                queue_.push_back(&connection);
                break;
            case PipeAction::kRecycle:
                Recycle(connection);
                break;
            case PipeAction::kHold:
                connection.deadline = DeadlineAfter(options_.createRetryMs);
                break;
            case PipeAction::kCancel:
                CancelIoEx(connection.pipe.Get(), &connection.overlapped);
                break;
            case PipeAction::kClose:
                if (connection.pipe) {
                    DisconnectNamedPipe(connection.pipe.Get());
                }
                connection.pipe.Reset();
                break;
        }
    }

    // Lets the client go so that the instance is offered to the next one;
    // the name stays ours throughout.
    void Recycle(Connection& connection) {
        connection.response.clear();
        if (!DisconnectNamedPipe(connection.pipe.Get())) {
            Apply(connection, PipeEvent::kDisconnectFailed);
        }
    }

    void RetryStuckInstances() {
        const ULONGLONG now = GetTickCount64();
        for (Connection& connection : connections_) {
            if (connection.phase == PipePhase::kStuck && connection.deadline <= now) {
                Apply(connection, PipeEvent::kDeadlinePassed);
            }
        }
    }

    // Who is let go for room at `at`, and when to look again. The client
    // processes are asked only while every instance is taken, so that a
    // pipe with room pays no call for them.
    PipeRoomChoice RoomChoice(ULONGLONG at) {
        views_.resize(connections_.size());
        for (std::size_t i = 0; i < connections_.size(); ++i) {
            views_[i].phase = connections_[i].phase;
        }
        const bool full = !PipeHasRoom(views_);
        for (std::size_t i = 0; i < connections_.size(); ++i) {
            Connection& connection = connections_[i];
            if (full && !connection.processAsked && connection.phase != PipePhase::kStuck &&
                connection.phase != PipePhase::kClosed) {
                connection.processAsked = true;
                if (!GetNamedPipeClientProcessId(connection.pipe.Get(),
                                                 &connection.clientProcessId)) {
                    connection.clientProcessId = 0;
                }
            }
            PipeInstanceView& view = views_[i];
            view.arrival = connection.arrival;
            view.connectedAt = connection.connectedAt;
            view.writingSince = connection.writingSince;
            view.clientProcessId = connection.clientProcessId;
        }
        return ChooseClientToLetGo(views_, at,
                                   {options_.roomGraceMs, options_.instancesPerProcess});
    }

    // When every instance is taken, one client makes room. A request that
    // arrives as its read is cancelled is still taken (the read then
    // completes with it), and so is an answer taken as its write is.
    void MakeRoom() {
        const PipeRoomChoice choice = RoomChoice(GetTickCount64());
        if (choice.letGo) {
            Apply(connections_[choice.index], PipeEvent::kRoomNeeded);
        }
    }

    // A cancelled operation still owns its record and buffer until its
    // completion arrives, so every instance is closed only once its
    // completion has come (or kPipeCancelWaitMs has passed).
    void CloseAll() {
        for (Connection& connection : connections_) {
            Apply(connection, PipeEvent::kGivingUp);
        }
        const ULONGLONG until = GetTickCount64() + kPipeCancelWaitMs;
        while (AnyUnderWay() && GetTickCount64() < until) {
            TakeCompletions(kPipeCancelPollMs);
        }
        for (Connection& connection : connections_) {
            Apply(connection, PipeEvent::kClosing);
        }
        queue_.clear();
    }

    bool AnyUnderWay(PipeOperation only = PipeOperation::kNone) const {
        for (const Connection& connection : connections_) {
            const PipeOperation operation = OperationUnderWay(connection.phase);
            if (operation != PipeOperation::kNone &&
                (only == PipeOperation::kNone || operation == only)) {
                return true;
            }
        }
        return false;
    }

    // Cancels the operations whose bound has passed; their completions then
    // recycle the instances.
    void ExpireDeadlines() {
        const ULONGLONG now = GetTickCount64();
        for (Connection& connection : connections_) {
            if (OperationUnderWay(connection.phase) != PipeOperation::kNone &&
                connection.deadline <= now) {
                Apply(connection, PipeEvent::kDeadlinePassed);
            }
        }
    }

    DWORD UntilNextDeadline() {
        ULONGLONG next = RoomChoice(GetTickCount64()).lookAgainAt;
        for (const Connection& connection : connections_) {
            if (connection.phase == PipePhase::kReading ||
                connection.phase == PipePhase::kWriting || connection.phase == PipePhase::kStuck) {
                next = std::min(next, connection.deadline);
            }
        }
        if (Live() < kPipeMaxInstances) {
            next = std::min(next, retryAt_);
        }
        if (next == kNoDeadline) {
            return INFINITE;
        }
        const ULONGLONG now = GetTickCount64();
        return next <= now ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(next - now, INFINITE - 1));
    }

    // Waits on the port for completions, the stop or the next deadline, and
    // takes every completion that has arrived.
    void WaitForActivity() {
        ExpireDeadlines();
        MakeRoom();
        DWORD waitMs = UntilNextDeadline();
        if (pollStop_) {
            waitMs = std::min<DWORD>(waitMs, kPipeStopPollMs);
        }
        TakeCompletions(waitMs);
        ExpireDeadlines();
        MakeRoom();
    }

    // After a stop: no new client and no new request; answers being taken get
    // a short grace from now, then everything is let go.
    void Drain() {
        const ULONGLONG graceEnd = GetTickCount64() + kPipeStopGraceMs;
        for (Connection& connection : connections_) {
            if (connection.phase == PipePhase::kWriting) {
                connection.deadline = std::min(connection.deadline, graceEnd);
            }
            Apply(connection, PipeEvent::kStopping);
        }
        queue_.clear();
        while (AnyUnderWay(PipeOperation::kWrite)) {
            ExpireDeadlines();
            TakeCompletions(std::max<DWORD>(1, UntilNextDeadline()));
        }
        CloseAll();
    }

    HANDLE stopEvent_;
    const RequestHandlerFn& handleRequest_;
    const LogSink& log_;
    const PipeServerOptions& options_;
    PipeInstanceMaker maker_;
    std::vector<Connection> connections_;  // never resized: operations hold their records
    std::deque<Connection*> queue_;        // requests read, in the order they arrived
    std::vector<PipeInstanceView> views_;  // what the room choice is shown, reused
    UniqueHandle port_;
    ULONGLONG retryAt_ = 0;
    std::uint64_t arrivals_ = 0;
    bool stopSeen_ = false;
    bool listened_ = false;                // the start-up work has run
    std::atomic<bool> stopPosted_{false};  // set by OnStop
    bool pollStop_ = false;                // the stop event could not be waited for
};

}  // namespace

void RunPipeServer(HANDLE stopEvent, const RequestHandlerFn& handleRequest, const LogSink& log,
                   const PipeServerOptions& options) {
    log(L"Pipe server loop started.");
    bool listened = false;
    if (!IsSet(stopEvent)) {
        PipeServer server(stopEvent, handleRequest, log, options);
        server.Run();
        listened = server.Listened();
    }
    if (!listened && options.onceListening) {
        options.onceListening();
    }
    log(L"Pipe server loop stopped.");
}

}  // namespace velk
