#include "service/channel/pipe_instance_phase.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

using P = PipePhase;
using E = PipeEvent;
using A = PipeAction;

struct PhaseCase {
    const char* name;
    PipePhase phase;
    PipeEvent event;
    std::uint32_t bytes;
    PipePhase next;
    PipeAction action;
};

class PipeInstancePhaseTest : public ::testing::TestWithParam<PhaseCase> {};

TEST_P(PipeInstancePhaseTest, GivesNextPhaseAndAction) {
    const PhaseCase& c = GetParam();
    const PipeStep step = NextPipeStep(c.phase, c.event, c.bytes);
    EXPECT_EQ(step.phase, c.next) << c.name;
    EXPECT_EQ(step.action, c.action) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PipeInstancePhaseTest,
    ::testing::Values(
        // Waiting for a client.
        PhaseCase{"client connects", P::kListening, E::kConnected, 0, P::kReading, A::kRead},
        PhaseCase{"no client before a cancel: listens again as it is", P::kListening, E::kCancelled,
                  0, P::kIdle, A::kNone},
        PhaseCase{"client came and went", P::kListening, E::kClientGone, 0, P::kIdle, A::kRecycle},
        PhaseCase{"connect fails: kept, not closed", P::kListening, E::kFailed, 0, P::kStuck,
                  A::kHold},
        PhaseCase{"no grace for a listener", P::kListening, E::kSilentGrace, 0, P::kListening,
                  A::kNone},
        // Waiting for the request.
        PhaseCase{"request read", P::kReading, E::kReadDone, 12, P::kQueued, A::kQueue},
        PhaseCase{"empty read is no request", P::kReading, E::kReadDone, 0, P::kIdle, A::kRecycle},
        PhaseCase{"read fails (too long, client gone)", P::kReading, E::kFailed, 0, P::kIdle,
                  A::kRecycle},
        PhaseCase{"read cancelled", P::kReading, E::kCancelled, 0, P::kIdle, A::kRecycle},
        PhaseCase{"client left while reading", P::kReading, E::kClientGone, 0, P::kIdle,
                  A::kRecycle},
        PhaseCase{"request too slow", P::kReading, E::kDeadlinePassed, 0, P::kReading, A::kCancel},
        PhaseCase{"silent client let go for room", P::kReading, E::kSilentGrace, 0, P::kReading,
                  A::kCancel},
        // Waiting its turn: nothing moves it but its answer.
        PhaseCase{"queued ignores a bound", P::kQueued, E::kDeadlinePassed, 0, P::kQueued,
                  A::kNone},
        PhaseCase{"queued is never let go for room", P::kQueued, E::kSilentGrace, 0, P::kQueued,
                  A::kNone},
        // Taking the answer.
        PhaseCase{"answer taken", P::kWriting, E::kWriteDone, 0, P::kIdle, A::kRecycle},
        PhaseCase{"write fails", P::kWriting, E::kFailed, 0, P::kIdle, A::kRecycle},
        PhaseCase{"write cancelled", P::kWriting, E::kCancelled, 0, P::kIdle, A::kRecycle},
        PhaseCase{"answer too slow", P::kWriting, E::kDeadlinePassed, 0, P::kWriting, A::kCancel},
        PhaseCase{"a client with a request stays", P::kWriting, E::kSilentGrace, 0, P::kWriting,
                  A::kNone},
        // Letting the client go.
        PhaseCase{"disconnect fails: kept, not closed", P::kIdle, E::kDisconnectFailed, 0,
                  P::kStuck, A::kHold},
        PhaseCase{"stuck instance's pause over", P::kStuck, E::kDeadlinePassed, 0, P::kIdle,
                  A::kRecycle},
        PhaseCase{"stuck again", P::kStuck, E::kDisconnectFailed, 0, P::kStuck, A::kHold},
        PhaseCase{"stuck waits its pause", P::kStuck, E::kConnected, 0, P::kStuck, A::kNone},
        // No operation under way: nothing happens.
        PhaseCase{"idle", P::kIdle, E::kReadDone, 5, P::kIdle, A::kNone},
        PhaseCase{"closed", P::kClosed, E::kDeadlinePassed, 0, P::kClosed, A::kNone}));

}  // namespace
}  // namespace velk
