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
#include "service/channel/pipe_schedule.h"

namespace velk {
namespace {

bool IsSet(HANDLE event) {
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// The completion key of the stop packet; an instance's is its index plus one.
constexpr ULONG_PTR kStopKey = 0;
// How often the loop looks at the stop event when it cannot have it posted.
constexpr DWORD kPipeStopPollMs = 100;
// How long each wait for the completions of cancelled operations lasts.
constexpr DWORD kPipeCancelPollMs = 50;

std::uint64_t Bound(DWORD ms) {
    return ms == INFINITE ? kPipeNever : ms;
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

// The system's side of one instance; what it is doing, and since when, is
// in the server's facts_ at the same index.
struct Connection {
    UniqueHandle pipe;
    OVERLAPPED overlapped{};
    bool processAsked = false;  // its client's process has been asked for
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
// the port sees everything. NextPipeStep moves each instance on and
// SchedulePipe says what is due and when; this class only does what they say.
class PipeServer {
  public:
    PipeServer(HANDLE stopEvent, RequestHandler& handleRequest, const LogSink& log,
               const PipeServerOptions& options)
        : stopEvent_(stopEvent),
          handleRequest_(handleRequest),
          log_(log),
          options_(options),
          rules_{Bound(options.clientStallTimeoutMs),
                 Bound(options.createRetryMs),
                 kPipeStopGraceMs,
                 {options.roomGraceMs, options.instancesPerProcess}},
          maker_(options.pipeName),
          connections_(kPipeMaxInstances),
          facts_(kPipeMaxInstances) {}

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
        const Win32Result<UniqueRegisteredWait> stopWait =
            RegisterWaitOnce(stopEvent_, &PipeServer::OnStop, this);
        pollStop_ = !stopWait;
        while (!StopSeen()) {
            FollowSchedule();
            for (std::size_t i = 0; i < facts_.size(); ++i) {
                Apply(i, PipeEvent::kOffered);
            }
            if (ListeningNow()) {
                continue;  // what happened meanwhile, in order
            }
            if (!queue_.empty()) {
                if (!StopSeen()) {
                    Answer(queue_.front());
                }
                queue_.pop_front();
                continue;
            }
            TakeCompletions(WaitMs(FollowSchedule()));
        }
        Drain();
    }

    // Whether the start-up work has run (RunPipeServer runs it itself when
    // the loop never started).
    bool Listened() const { return listened_; }

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

    bool StopSeen() {
        if (!stopSeen_) {
            stopSeen_ = stopPosted_ || (pollStop_ && IsSet(stopEvent_));
        }
        return stopSeen_;
    }

    // Does what is due now; when to look again. The client processes are
    // asked only while every instance is taken and room may be made, so that
    // a pipe with room pays no call for them.
    std::uint64_t FollowSchedule() {
        if (moment_.stoppedAt == kPipeNever && !PipeHasRoom(facts_)) {
            for (std::size_t i = 0; i < facts_.size(); ++i) {
                AskClientProcess(i);
            }
        }
        moment_.now = GetTickCount64();
        const PipeSchedule schedule = SchedulePipe(facts_, moment_, rules_);
        for (std::size_t i = 0; i < schedule.due.size(); ++i) {
            switch (schedule.due[i]) {
                case PipeDue::kNothing:
                    break;
                case PipeDue::kMake:
                    if (!Make(i)) {
                        // The others wait for the pause too; a name served by
                        // someone else has closed them all.
                        return moment_.now;
                    }
                    break;
                case PipeDue::kTimeOut:
                    Apply(i, PipeEvent::kDeadlinePassed);
                    break;
                case PipeDue::kLetGo:
                    Apply(i, PipeEvent::kRoomNeeded);
                    break;
            }
        }
        return schedule.wakeAt;
    }

    DWORD WaitMs(std::uint64_t wakeAt) const {
        DWORD waitMs = INFINITE;
        if (wakeAt != kPipeNever) {
            const std::uint64_t now = GetTickCount64();
            waitMs = wakeAt <= now
                         ? 0
                         : static_cast<DWORD>(std::min<std::uint64_t>(wakeAt - now, INFINITE - 1));
        }
        return pollStop_ ? std::min<DWORD>(waitMs, kPipeStopPollMs) : waitMs;
    }

    void AskClientProcess(std::size_t i) {
        Connection& connection = connections_[i];
        const PipePhase phase = facts_[i].phase;
        if (connection.processAsked || phase == PipePhase::kStuck || phase == PipePhase::kClosed) {
            return;
        }
        connection.processAsked = true;
        ULONG pid = 0;
        facts_[i].clientProcessId =
            GetNamedPipeClientProcessId(connection.pipe.Get(), &pid) ? pid : 0;
    }

    // Makes the instance and lets it report to the port. False when it could
    // not be made; when the name turned out to be served by someone else too,
    // every instance is closed, so that clients cannot reach them instead of
    // us, and the name is taken again once it is free.
    bool Make(std::size_t i) {
        Win32Result<MadeInstance> made = maker_.Make(Live());
        if (made && !made.value().refusal &&
            !CreateIoCompletionPort(made.value().pipe.Get(), port_.Get(), i + 1, 0)) {
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
            moment_.makeFailedAt = GetTickCount64();
            return false;
        }
        if (made.value().refusal) {
            log_(L"Pipe instance given up: " + made.value().refusal->reason + L".");
            GiveUpTheName();
            moment_.makeFailedAt = GetTickCount64();
            return false;
        }
        connections_[i].pipe = std::move(made.value().pipe);
        Apply(i, PipeEvent::kMade);
        return true;
    }

    // Someone else serves this name too: clients could reach them instead of
    // us. Give the name up and take it again once it is free.
    void GiveUpTheName() {
        log_(L"Pipe name already held by another process.");
        CloseAll();
    }

    DWORD Live() const {
        return static_cast<DWORD>(
            std::count_if(facts_.begin(), facts_.end(),
                          [](const PipeInstanceView& f) { return f.phase != PipePhase::kClosed; }));
    }

    // Moves the instance on after `event` and does what that asks: the only
    // place its phase is written.
    void Apply(std::size_t i, PipeEvent event, DWORD bytes = 0) {
        const PipeStep step = NextPipeStep(facts_[i].phase, event, bytes);
        facts_[i].phase = step.phase;
        Connection& connection = connections_[i];
        switch (step.action) {
            case PipeAction::kNone:
                break;
            case PipeAction::kListen:
                Started(i, ConnectNamedPipe(connection.pipe.Get(), Fresh(connection)));
                break;
            case PipeAction::kRead:
                facts_[i].connectedAt = GetTickCount64();
                facts_[i].arrival = ++arrivals_;
                facts_[i].clientProcessId = 0;
                connection.processAsked = false;
                Started(i, ReadFile(connection.pipe.Get(), connection.request.data(),
                                    kMaxRequestBytes, nullptr, Fresh(connection)));
                break;
            case PipeAction::kQueue:
                connection.requestBytes = bytes;
                queue_.push_back(i);
                break;
            case PipeAction::kWrite:
                // The write ends only when the client has read the whole
                // answer (the instance has no output buffer), so the client
                // can then be let go at once.
                facts_[i].writingSince = GetTickCount64();
                Started(i, WriteFile(connection.pipe.Get(), connection.response.data(),
                                     static_cast<DWORD>(connection.response.size()), nullptr,
                                     Fresh(connection)));
                break;
            case PipeAction::kRecycle:
                // The name stays ours throughout.
                connection.response.clear();
                if (!DisconnectNamedPipe(connection.pipe.Get())) {
                    Apply(i, PipeEvent::kDisconnectFailed);
                }
                break;
            case PipeAction::kHold:
                facts_[i].heldAt = GetTickCount64();
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

    static OVERLAPPED* Fresh(Connection& connection) {
        connection.overlapped = OVERLAPPED{};
        return &connection.overlapped;
    }

    // An operation that reports to the port is left to its completion; one
    // that failed at once moves the instance on now. A read of a message
    // longer than its buffer ends at once with ERROR_MORE_DATA, a warning,
    // and reports to the port all the same.
    void Started(std::size_t i, BOOL result) {
        const DWORD error = result ? ERROR_SUCCESS : GetLastError();
        if (result || error == ERROR_IO_PENDING || error == ERROR_MORE_DATA) {
            return;
        }
        Apply(i, error == ERROR_PIPE_CONNECTED ? PipeEvent::kConnected
                 : error == ERROR_NO_DATA      ? PipeEvent::kClientGone
                                               : PipeEvent::kFailed);
    }

    // Carries out the request and starts writing its answer.
    void Answer(std::size_t i) {
        if (facts_[i].phase != PipePhase::kQueued) {
            return;
        }
        Connection& connection = connections_[i];
        connection.response = EncodeResponse(
            handleRequest_.Handle(DecodeRequest(connection.request.data(), connection.requestBytes),
                                  connection.pipe.Get()));
        Apply(i, PipeEvent::kAnswerReady);
    }

    // Takes every completion that has arrived, in the order they happened,
    // waiting at most `waitMs` for the first.
    void TakeCompletions(DWORD waitMs) {
        for (;;) {
            OVERLAPPED_ENTRY entries[kPipeMaxInstances];
            ULONG count = 0;
            if (!GetQueuedCompletionStatusEx(port_.Get(), entries, kPipeMaxInstances, &count,
                                             waitMs, FALSE)) {
                return;
            }
            for (ULONG e = 0; e < count; ++e) {
                if (entries[e].lpCompletionKey == kStopKey) {
                    continue;  // stopPosted_ says it
                }
                const std::size_t i = entries[e].lpCompletionKey - 1;
                DWORD bytes = 0;
                const DWORD error = GetOverlappedResult(connections_[i].pipe.Get(),
                                                        entries[e].lpOverlapped, &bytes, FALSE)
                                        ? ERROR_SUCCESS
                                        : GetLastError();
                Apply(i, CompletionEvent(facts_[i].phase, error), bytes);
            }
            if (count < kPipeMaxInstances) {
                return;
            }
            waitMs = 0;
        }
    }

    bool AnyUnderWay(PipeOperation only = PipeOperation::kNone) const {
        return std::any_of(facts_.begin(), facts_.end(), [&](const PipeInstanceView& f) {
            const PipeOperation operation = OperationUnderWay(f.phase);
            return operation != PipeOperation::kNone &&
                   (only == PipeOperation::kNone || operation == only);
        });
    }

    // A cancelled operation still owns its record and buffer until its
    // completion arrives, so every instance is closed only once its
    // completion has come (or kPipeCancelWaitMs has passed).
    void CloseAll() {
        for (std::size_t i = 0; i < facts_.size(); ++i) {
            Apply(i, PipeEvent::kGivingUp);
        }
        const ULONGLONG until = GetTickCount64() + kPipeCancelWaitMs;
        while (AnyUnderWay() && GetTickCount64() < until) {
            TakeCompletions(kPipeCancelPollMs);
        }
        for (std::size_t i = 0; i < facts_.size(); ++i) {
            Apply(i, PipeEvent::kClosing);
        }
        queue_.clear();
    }

    // After a stop: no new client and no new request; answers being taken get
    // a short grace from now, then everything is let go.
    void Drain() {
        moment_.stoppedAt = GetTickCount64();
        for (std::size_t i = 0; i < facts_.size(); ++i) {
            Apply(i, PipeEvent::kStopping);
        }
        queue_.clear();
        while (AnyUnderWay(PipeOperation::kWrite)) {
            TakeCompletions(std::max<DWORD>(1, WaitMs(FollowSchedule())));
        }
        CloseAll();
    }

    HANDLE stopEvent_;
    RequestHandler& handleRequest_;
    const LogSink& log_;
    const PipeServerOptions& options_;
    const PipeScheduleRules rules_;
    PipeInstanceMaker maker_;
    std::vector<Connection> connections_;  // never resized: operations hold their records
    std::vector<PipeInstanceView> facts_;  // what each instance is doing, and since when
    std::deque<std::size_t> queue_;        // requests read, in the order they arrived
    PipeMoment moment_;
    UniqueHandle port_;
    std::uint64_t arrivals_ = 0;
    bool stopSeen_ = false;
    bool listened_ = false;                // the start-up work has run
    std::atomic<bool> stopPosted_{false};  // set by OnStop
    bool pollStop_ = false;                // the stop event could not be waited for
};

}  // namespace

void RunPipeServer(HANDLE stopEvent, RequestHandler& handleRequest, const LogSink& log,
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
