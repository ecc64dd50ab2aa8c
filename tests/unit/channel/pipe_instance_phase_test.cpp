#include "service/channel/pipe_instance_phase.h"

#include <gtest/gtest.h>

#include <iterator>

namespace velk {
namespace {

using P = PipePhase;
using E = PipeEvent;
using A = PipeAction;

TEST(PipeInstancePhaseTest, GivesNextPhaseAndAction) {
    struct Case {
        PipePhase phase;
        PipeEvent event;
        std::uint32_t bytes;
        PipeStep expected;
    };
    const Case cases[] = {
        // Waiting for a client; a failure keeps the instance rather than closing it.
        {P::kListening, E::kConnected, 0, {P::kReading, A::kRead}},
        {P::kListening, E::kCancelled, 0, {P::kIdle, A::kNone}},
        {P::kListening, E::kClientGone, 0, {P::kIdle, A::kRecycle}},
        {P::kListening, E::kFailed, 0, {P::kStuck, A::kHold}},
        {P::kListening, E::kRoomNeeded, 0, {P::kListening, A::kNone}},
        // Waiting for the request: one byte is a request, none is not.
        {P::kReading, E::kReadDone, 1, {P::kQueued, A::kQueue}},
        {P::kReading, E::kReadDone, 0, {P::kIdle, A::kRecycle}},
        {P::kReading, E::kFailed, 0, {P::kIdle, A::kRecycle}},
        {P::kReading, E::kCancelled, 0, {P::kIdle, A::kRecycle}},
        {P::kReading, E::kClientGone, 0, {P::kIdle, A::kRecycle}},
        {P::kReading, E::kDeadlinePassed, 0, {P::kReading, A::kCancel}},
        {P::kReading, E::kRoomNeeded, 0, {P::kReading, A::kCancel}},
        // A request waiting its turn is never let go.
        {P::kQueued, E::kDeadlinePassed, 0, {P::kQueued, A::kNone}},
        {P::kQueued, E::kRoomNeeded, 0, {P::kQueued, A::kNone}},
        // Taking the answer: the client goes however the write ends, and for room.
        {P::kWriting, E::kWriteDone, 0, {P::kIdle, A::kRecycle}},
        {P::kWriting, E::kFailed, 0, {P::kIdle, A::kRecycle}},
        {P::kWriting, E::kCancelled, 0, {P::kIdle, A::kRecycle}},
        {P::kWriting, E::kDeadlinePassed, 0, {P::kWriting, A::kCancel}},
        {P::kWriting, E::kRoomNeeded, 0, {P::kWriting, A::kCancel}},
        // A client that cannot be let go leaves the instance stuck, kept and retried.
        {P::kIdle, E::kDisconnectFailed, 0, {P::kStuck, A::kHold}},
        {P::kStuck, E::kDeadlinePassed, 0, {P::kIdle, A::kRecycle}},
        {P::kStuck, E::kDisconnectFailed, 0, {P::kStuck, A::kHold}},
        {P::kStuck, E::kConnected, 0, {P::kStuck, A::kNone}},
        // Nothing under way: nothing moves.
        {P::kIdle, E::kReadDone, 5, {P::kIdle, A::kNone}},
        {P::kClosed, E::kDeadlinePassed, 0, {P::kClosed, A::kNone}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const PipeStep step = NextPipeStep(c.phase, c.event, c.bytes);
        EXPECT_EQ(step.phase, c.expected.phase) << "case " << i;
        EXPECT_EQ(step.action, c.expected.action) << "case " << i;
    }
}

}  // namespace
}  // namespace velk
