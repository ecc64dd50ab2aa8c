#include "service/channel/pipe_instance_phase.h"

namespace velk {
namespace {

PipeStep Listening(PipeEvent event) {
    switch (event) {
        case PipeEvent::kConnected:
            return {PipePhase::kReading, PipeAction::kRead};
        case PipeEvent::kCancelled:
            // No client came; the instance can listen again as it is.
            return {PipePhase::kIdle, PipeAction::kNone};
        case PipeEvent::kClientGone:
            return {PipePhase::kIdle, PipeAction::kRecycle};
        case PipeEvent::kDeadlinePassed:
            return {PipePhase::kListening, PipeAction::kCancel};
        case PipeEvent::kSilentGrace:
            return {PipePhase::kListening, PipeAction::kNone};
        default:
            return {PipePhase::kStuck, PipeAction::kHold};
    }
}

PipeStep Reading(PipeEvent event, std::uint32_t bytes) {
    switch (event) {
        case PipeEvent::kReadDone:
            // A request that has arrived is taken even when its bound, a
            // stop or the grace came at the same moment.
            return bytes != 0 ? PipeStep{PipePhase::kQueued, PipeAction::kQueue}
                              : PipeStep{PipePhase::kIdle, PipeAction::kRecycle};
        case PipeEvent::kDeadlinePassed:
        case PipeEvent::kSilentGrace:
            return {PipePhase::kReading, PipeAction::kCancel};
        default:
            return {PipePhase::kIdle, PipeAction::kRecycle};
    }
}

PipeStep Writing(PipeEvent event) {
    switch (event) {
        case PipeEvent::kDeadlinePassed:
            return {PipePhase::kWriting, PipeAction::kCancel};
        case PipeEvent::kSilentGrace:
            // A client that has written its request is never let go for room.
            return {PipePhase::kWriting, PipeAction::kNone};
        default:
            // Taken, failed or cut short: the client goes either way.
            return {PipePhase::kIdle, PipeAction::kRecycle};
    }
}

}  // namespace

PipeStep NextPipeStep(PipePhase phase, PipeEvent event, std::uint32_t bytes) {
    if (event == PipeEvent::kDisconnectFailed) {
        return {PipePhase::kStuck, PipeAction::kHold};
    }
    switch (phase) {
        case PipePhase::kListening:
            return Listening(event);
        case PipePhase::kReading:
            return Reading(event, bytes);
        case PipePhase::kWriting:
            return Writing(event);
        case PipePhase::kStuck:
            if (event == PipeEvent::kDeadlinePassed) {
                return {PipePhase::kIdle, PipeAction::kRecycle};
            }
            break;
        default:
            break;
    }
    return {phase, PipeAction::kNone};
}

}  // namespace velk
