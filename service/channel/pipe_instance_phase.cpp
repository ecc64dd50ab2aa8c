#include "service/channel/pipe_instance_phase.h"

namespace velk {
namespace {

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

}  // namespace

PipeStep NextPipeStep(PipePhase phase, PipeEvent event, std::uint32_t bytes) {
    if (event == PipeEvent::kDisconnectFailed) {
        return {PipePhase::kStuck, PipeAction::kHold};
    }
    const bool waiting = phase == PipePhase::kListening || phase == PipePhase::kReading ||
                         phase == PipePhase::kWriting;
    if (!waiting) {
        // Nothing under way: only a stuck instance's pause moves it.
        const bool retry = phase == PipePhase::kStuck && event == PipeEvent::kDeadlinePassed;
        return retry ? PipeStep{PipePhase::kIdle, PipeAction::kRecycle}
                     : PipeStep{phase, PipeAction::kNone};
    }
    if (event == PipeEvent::kDeadlinePassed) {
        // The completion of the cancelled operation moves the instance on.
        return {phase, PipeAction::kCancel};
    }
    if (event == PipeEvent::kRoomNeeded) {
        // A client waited on is let go for room, whether it owes its request
        // or has left its answer untaken; the completion moves the instance on.
        return {phase, phase == PipePhase::kListening ? PipeAction::kNone : PipeAction::kCancel};
    }
    if (phase == PipePhase::kListening) {
        return Listened(event);
    }
    // A request that has arrived is taken even when its bound, a stop or the
    // grace came at the same moment; an empty one is no request.
    if (phase == PipePhase::kReading && event == PipeEvent::kReadDone && bytes != 0) {
        return {PipePhase::kQueued, PipeAction::kQueue};
    }
    // The read or the write ended otherwise, or the answer was taken: the
    // client goes either way.
    return {PipePhase::kIdle, PipeAction::kRecycle};
}

}  // namespace velk
