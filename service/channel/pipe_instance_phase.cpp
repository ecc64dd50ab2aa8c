#include "service/channel/pipe_instance_phase.h"

namespace velk {
namespace {

constexpr PipeStep Stay(PipePhase phase) {
    return {phase, PipeAction::kNone};
}

// Cancels the operation under way; its completion moves the instance on.
PipeStep Cancel(PipePhase phase) {
    switch (phase) {
        case PipePhase::kListening:
            return {PipePhase::kListenCancelled, PipeAction::kCancel};
        case PipePhase::kReading:
            return {PipePhase::kReadCancelled, PipeAction::kCancel};
        case PipePhase::kWriting:
            return {PipePhase::kWriteCancelled, PipeAction::kCancel};
        default:
            return Stay(phase);
    }
}

// The end of the wait for a client.
PipeStep Listened(PipeEvent event) {
    switch (event) {
        case PipeEvent::kConnected:
            return {PipePhase::kReading, PipeAction::kRead};
        case PipeEvent::kCancelled:
            // No client came; the instance can listen again as it is.
            return {PipePhase::kIdle, PipeAction::kNone};
        case PipeEvent::kClientGone:
            return {PipePhase::kIdle, PipeAction::kRecycle};
        default:
            return {PipePhase::kStuck, PipeAction::kHold};
    }
}

// The completion of the operation under way in `phase`.
PipeStep Completed(PipePhase phase, PipeEvent event, std::uint32_t bytes) {
    switch (phase) {
        case PipePhase::kListening:
            return Listened(event);
        case PipePhase::kListenCancelled:
            // A client that connected as the wait was cancelled is let go.
            return event == PipeEvent::kConnected ? PipeStep{PipePhase::kIdle, PipeAction::kRecycle}
                                                  : Listened(event);
        case PipePhase::kReading:
        case PipePhase::kReadCancelled:
            // A request that has arrived is taken even when its bound, a stop
            // or the grace came at the same moment; an empty one is no request.
            if (event == PipeEvent::kReadDone && bytes != 0) {
                return {PipePhase::kQueued, PipeAction::kQueue};
            }
            return {PipePhase::kIdle, PipeAction::kRecycle};
        case PipePhase::kWriting:
        case PipePhase::kWriteCancelled:
            // The answer was taken or the write ended otherwise: the client
            // goes either way.
            return {PipePhase::kIdle, PipeAction::kRecycle};
        default:
            return Stay(phase);
    }
}

}  // namespace

PipeStep NextPipeStep(PipePhase phase, PipeEvent event, std::uint32_t bytes) {
    switch (event) {
        case PipeEvent::kMade:
            return phase == PipePhase::kClosed ? PipeStep{PipePhase::kIdle, PipeAction::kNone}
                                               : Stay(phase);
        case PipeEvent::kOffered:
            return phase == PipePhase::kIdle ? PipeStep{PipePhase::kListening, PipeAction::kListen}
                                             : Stay(phase);
        case PipeEvent::kAnswerReady:
            return phase == PipePhase::kQueued ? PipeStep{PipePhase::kWriting, PipeAction::kWrite}
                                               : Stay(phase);
        case PipeEvent::kDisconnectFailed:
            return {PipePhase::kStuck, PipeAction::kHold};
        case PipeEvent::kDeadlinePassed:
            // Only a stuck instance's pause moves it without an operation.
            return phase == PipePhase::kStuck ? PipeStep{PipePhase::kIdle, PipeAction::kRecycle}
                                              : Cancel(phase);
        case PipeEvent::kRoomNeeded:
            // A client waited on is let go for room, whether it owes its
            // request or has left its answer untaken.
            return phase == PipePhase::kReading || phase == PipePhase::kWriting ? Cancel(phase)
                                                                                : Stay(phase);
        case PipeEvent::kStopping:
            // An answer being taken keeps its (shortened) bound.
            return phase == PipePhase::kWriting ? Stay(phase) : Cancel(phase);
        case PipeEvent::kGivingUp:
            return Cancel(phase);
        case PipeEvent::kClosing:
            return phase == PipePhase::kClosed ? Stay(phase)
                                               : PipeStep{PipePhase::kClosed, PipeAction::kClose};
        default:
            return Completed(phase, event, bytes);
    }
}

PipeOperation OperationUnderWay(PipePhase phase) {
    switch (phase) {
        case PipePhase::kListening:
        case PipePhase::kListenCancelled:
            return PipeOperation::kConnect;
        case PipePhase::kReading:
        case PipePhase::kReadCancelled:
            return PipeOperation::kRead;
        case PipePhase::kWriting:
        case PipePhase::kWriteCancelled:
            return PipeOperation::kWrite;
        default:
            return PipeOperation::kNone;
    }
}

}  // namespace velk
