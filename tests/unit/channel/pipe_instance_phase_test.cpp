#include "service/channel/pipe_instance_phase.h"

#include <gtest/gtest.h>

#include <iterator>
#include <utility>

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
        // Made, offered: only a closed instance is made, only an idle one offered.
        {P::kClosed, E::kMade, 0, {P::kIdle, A::kNone}},
        {P::kStuck, E::kMade, 0, {P::kStuck, A::kNone}},
        {P::kIdle, E::kOffered, 0, {P::kListening, A::kListen}},
        {P::kReading, E::kOffered, 0, {P::kReading, A::kNone}},
        {P::kStuck, E::kOffered, 0, {P::kStuck, A::kNone}},
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
        {P::kReading, E::kDeadlinePassed, 0, {P::kReadCancelled, A::kCancel}},
        {P::kReading, E::kRoomNeeded, 0, {P::kReadCancelled, A::kCancel}},
        // The read cancelled: a request that arrived first is still taken, and
        // nothing cancels it twice.
        {P::kReadCancelled, E::kReadDone, 3, {P::kQueued, A::kQueue}},
        {P::kReadCancelled, E::kReadDone, 0, {P::kIdle, A::kRecycle}},
        {P::kReadCancelled, E::kCancelled, 0, {P::kIdle, A::kRecycle}},
        {P::kReadCancelled, E::kDeadlinePassed, 0, {P::kReadCancelled, A::kNone}},
        {P::kReadCancelled, E::kRoomNeeded, 0, {P::kReadCancelled, A::kNone}},
        {P::kReadCancelled, E::kStopping, 0, {P::kReadCancelled, A::kNone}},
        // A request waiting its turn is never let go.
        {P::kQueued, E::kDeadlinePassed, 0, {P::kQueued, A::kNone}},
        {P::kQueued, E::kRoomNeeded, 0, {P::kQueued, A::kNone}},
        {P::kQueued, E::kAnswerReady, 0, {P::kWriting, A::kWrite}},
        {P::kReading, E::kAnswerReady, 0, {P::kReading, A::kNone}},
        // Taking the answer: the client goes however the write ends, and for room.
        {P::kWriting, E::kWriteDone, 0, {P::kIdle, A::kRecycle}},
        {P::kWriting, E::kFailed, 0, {P::kIdle, A::kRecycle}},
        {P::kWriting, E::kCancelled, 0, {P::kIdle, A::kRecycle}},
        {P::kWriting, E::kDeadlinePassed, 0, {P::kWriteCancelled, A::kCancel}},
        {P::kWriting, E::kRoomNeeded, 0, {P::kWriteCancelled, A::kCancel}},
        {P::kWriteCancelled, E::kWriteDone, 0, {P::kIdle, A::kRecycle}},
        {P::kWriteCancelled, E::kCancelled, 0, {P::kIdle, A::kRecycle}},
        {P::kWriteCancelled, E::kDeadlinePassed, 0, {P::kWriteCancelled, A::kNone}},
        // The stop: no new client and no new request; an answer being taken
        // keeps its bound, and is cancelled only when the name is given up.
        {P::kListening, E::kStopping, 0, {P::kListenCancelled, A::kCancel}},
        {P::kReading, E::kStopping, 0, {P::kReadCancelled, A::kCancel}},
        {P::kWriting, E::kStopping, 0, {P::kWriting, A::kNone}},
        {P::kQueued, E::kStopping, 0, {P::kQueued, A::kNone}},
        {P::kIdle, E::kStopping, 0, {P::kIdle, A::kNone}},
        {P::kWriting, E::kGivingUp, 0, {P::kWriteCancelled, A::kCancel}},
        {P::kListening, E::kGivingUp, 0, {P::kListenCancelled, A::kCancel}},
        {P::kStuck, E::kGivingUp, 0, {P::kStuck, A::kNone}},
        {P::kWriteCancelled, E::kGivingUp, 0, {P::kWriteCancelled, A::kNone}},
        // A client connecting as the wait was cancelled is let go, not read.
        {P::kListenCancelled, E::kConnected, 0, {P::kIdle, A::kRecycle}},
        {P::kListenCancelled, E::kCancelled, 0, {P::kIdle, A::kNone}},
        {P::kListenCancelled, E::kClientGone, 0, {P::kIdle, A::kRecycle}},
        {P::kListenCancelled, E::kFailed, 0, {P::kStuck, A::kHold}},
        // Closing: from every phase but closed, whatever is under way.
        {P::kQueued, E::kClosing, 0, {P::kClosed, A::kClose}},
        {P::kReadCancelled, E::kClosing, 0, {P::kClosed, A::kClose}},
        {P::kStuck, E::kClosing, 0, {P::kClosed, A::kClose}},
        {P::kClosed, E::kClosing, 0, {P::kClosed, A::kNone}},
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

TEST(PipeInstancePhaseTest, NamesTheOperationUnderWayCancelledOrNot) {
    using O = PipeOperation;
    const std::pair<PipePhase, PipeOperation> cases[] = {
        {P::kClosed, O::kNone},          {P::kIdle, O::kNone},
        {P::kListening, O::kConnect},    {P::kListenCancelled, O::kConnect},
        {P::kReading, O::kRead},         {P::kReadCancelled, O::kRead},
        {P::kQueued, O::kNone},          {P::kWriting, O::kWrite},
        {P::kWriteCancelled, O::kWrite}, {P::kStuck, O::kNone},
    };
    for (const auto& [phase, operation] : cases) {
        EXPECT_EQ(OperationUnderWay(phase), operation) << static_cast<int>(phase);
    }
}

// Whatever happens, an instance whose operation was cancelled never starts
// another: the completion of the cancelled one is all that moves it.
TEST(PipeInstancePhaseTest, ACancelledOperationNeverStartsAnother) {
    const PipePhase cancelled[] = {P::kListenCancelled, P::kReadCancelled, P::kWriteCancelled};
    const PipeEvent events[] = {
        E::kMade,        E::kOffered,          E::kConnected, E::kClientGone, E::kReadDone,
        E::kAnswerReady, E::kWriteDone,        E::kFailed,    E::kCancelled,  E::kDeadlinePassed,
        E::kRoomNeeded,  E::kDisconnectFailed, E::kStopping,  E::kGivingUp,   E::kClosing,
    };
    for (PipePhase phase : cancelled) {
        for (PipeEvent event : events) {
            const int e = static_cast<int>(event);
            const PipeStep step = NextPipeStep(phase, event, 1);
            EXPECT_NE(step.action, A::kListen) << static_cast<int>(phase) << " on " << e;
            EXPECT_NE(step.action, A::kRead) << static_cast<int>(phase) << " on " << e;
            EXPECT_NE(step.action, A::kWrite) << static_cast<int>(phase) << " on " << e;
            EXPECT_NE(step.action, A::kCancel) << static_cast<int>(phase) << " on " << e;
        }
    }
}

}  // namespace
}  // namespace velk
