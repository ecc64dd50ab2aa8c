#include "service/channel/pipe_schedule.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <string>
#include <vector>

namespace velk {
namespace {

using P = PipePhase;
using D = PipeDue;

constexpr std::uint64_t kNow = 100000;
constexpr PipeScheduleRules kRules{5000, 1000, 250, {300, 2}};

PipeInstanceView In(PipePhase phase) {
    PipeInstanceView view;
    view.phase = phase;
    return view;
}
PipeInstanceView Reading(std::uint64_t connectedAt, std::uint64_t arrival = 1,
                         std::uint32_t pid = 0) {
    PipeInstanceView view = In(P::kReading);
    view.connectedAt = connectedAt;
    view.arrival = arrival;
    view.clientProcessId = pid;
    return view;
}
PipeInstanceView Writing(std::uint64_t writingSince) {
    PipeInstanceView view = In(P::kWriting);
    view.writingSince = writingSince;
    return view;
}
PipeInstanceView Stuck(std::uint64_t heldAt) {
    PipeInstanceView view = In(P::kStuck);
    view.heldAt = heldAt;
    return view;
}
// Every instance taken: seven young silent clients of processes 11..17 that
// connected after everyone else, and `last`.
std::vector<PipeInstanceView> Full(PipeInstanceView last) {
    std::vector<PipeInstanceView> full;
    for (std::uint32_t i = 0; i < 7; ++i) {
        full.push_back(Reading(kNow - 10, 100 + i, 11 + i));
    }
    full.push_back(last);
    return full;
}
std::vector<D> Nothing(std::size_t count) {
    return std::vector<D>(count, D::kNothing);
}
std::vector<D> At(std::vector<D> due, std::size_t index, D what) {
    due[index] = what;
    return due;
}

struct Case {
    const char* name;
    std::vector<PipeInstanceView> instances;
    PipeMoment moment;
    std::vector<D> due;
    std::uint64_t wakeAt;
    PipeScheduleRules rules = kRules;
};

const PipeMoment kServing{kNow};
const PipeMoment kStopped{kNow, kNow - 100};
constexpr std::uint64_t kYoungGraceEnd = kNow - 10 + 300;

std::vector<Case> Cases() {
    PipeScheduleRules unbounded = kRules;
    unbounded.stallMs = kPipeNever;
    return {
        // Making: at once, or a pause after the last failure.
        {"closed, nothing failed yet: made at once",
         {In(P::kClosed), In(P::kClosed)},
         kServing,
         {D::kMake, D::kMake},
         kNow},
        {"closed, failed within the pause",
         {In(P::kClosed)},
         {kNow, kPipeNever, kNow - 999},
         {D::kNothing},
         kNow + 1},
        {"closed, failed a pause ago",
         {In(P::kClosed)},
         {kNow, kPipeNever, kNow - 1000},
         {D::kMake},
         kNow},
        // The bounds of a client's request and of its answer.
        {"request inside its bound",
         {Reading(kNow - 4999), In(P::kListening)},
         kServing,
         Nothing(2),
         kNow + 1},
        {"request at its bound",
         {Reading(kNow - 5000), In(P::kListening)},
         kServing,
         {D::kTimeOut, D::kNothing},
         kNow},
        {"answer inside its bound",
         {Writing(kNow - 4000), In(P::kListening)},
         kServing,
         Nothing(2),
         kNow + 1000},
        {"answer at its bound",
         {In(P::kListening), Writing(kNow - 5000)},
         kServing,
         {D::kNothing, D::kTimeOut},
         kNow},
        {"the earliest bound wakes",
         {Writing(kNow - 1000), Reading(kNow - 4900), In(P::kListening)},
         kServing,
         Nothing(3),
         kNow + 100},
        {"no bound: nothing, ever",
         {Reading(0), Writing(0), In(P::kListening)},
         kServing,
         Nothing(3),
         kPipeNever,
         unbounded},
        // A stuck instance is tried again after its pause.
        {"stuck within the pause",
         {Stuck(kNow - 10), In(P::kListening)},
         kServing,
         Nothing(2),
         kNow + 990},
        {"stuck a pause ago",
         {Stuck(kNow - 1000), In(P::kListening)},
         kServing,
         {D::kTimeOut, D::kNothing},
         kNow},
        // Only an event moves these; an idle instance is offered at once.
        {"waiting on events only",
         {In(P::kListening), In(P::kQueued), In(P::kListenCancelled), In(P::kReadCancelled),
          In(P::kWriteCancelled)},
         kServing,
         Nothing(5),
         kPipeNever},
        {"idle: offered without waiting",
         {In(P::kIdle), In(P::kListening)},
         kServing,
         Nothing(2),
         kNow},
        // After the stop only an answer being taken has a bound: the grace
        // from the stop, or from its write if later, unless its own ends first.
        {"stopped: the grace from the stop",
         {Writing(kNow - 200), In(P::kClosed)},
         kStopped,
         Nothing(2),
         kNow + 150},
        {"stopped: the grace from a later write",
         {Writing(kNow - 50)},
         kStopped,
         Nothing(1),
         kNow + 200},
        {"stopped: its own bound ends first",
         {Writing(kNow - 4900)},
         kStopped,
         Nothing(1),
         kNow + 100},
        {"stopped: the grace has passed",
         {Writing(kNow - 400)},
         {kNow, kNow - 250},
         {D::kTimeOut},
         kNow},
        {"stopped: nothing made, offered or tried again",
         {In(P::kClosed), In(P::kIdle), Stuck(0), In(P::kQueued)},
         kStopped,
         Nothing(4),
         kPipeNever},
        {"stopped: nobody let go for room", Full(Reading(kNow - 400)), kStopped, Nothing(8),
         kNow - 400 + 5000},
        // Room, once nothing else is due.
        {"full, all young: look again when the first grace ends", Full(Reading(kNow - 10, 107)),
         kServing, Nothing(8), kYoungGraceEnd},
        {"full, one past the grace: it goes", Full(Reading(kNow - 300)), kServing,
         At(Nothing(8), 7, D::kLetGo), kNow},
        {"full, one past its bound: it times out and nobody else goes",
         [] {
             std::vector<PipeInstanceView> full = Full(Reading(kNow - 300));
             full[0] = Reading(kNow - 5000, 1);
             return full;
         }(),
         kServing, At(Nothing(8), 0, D::kTimeOut), kNow},
        {"full with a stuck one due before the grace ends",
         [] {
             std::vector<PipeInstanceView> full = Full(Reading(kNow - 10, 107));
             full[3] = Stuck(kNow - 1000 + 100);
             return full;
         }(),
         kServing, Nothing(8), kNow + 100},
        {"full, one stuck a pause ago: tried again, nobody let go",
         [] {
             std::vector<PipeInstanceView> full = Full(Reading(kNow - 300));
             full[3] = Stuck(kNow - 1000);
             return full;
         }(),
         kServing, At(Nothing(8), 3, D::kTimeOut), kNow},
    };
}

TEST(PipeScheduleTest, SaysWhatIsDueAndWhenToWake) {
    for (const Case& c : Cases()) {
        const PipeSchedule schedule = SchedulePipe(c.instances, c.moment, c.rules);
        EXPECT_EQ(schedule.due, c.due) << c.name;
        EXPECT_EQ(schedule.wakeAt, c.wakeAt) << c.name;
    }
}

// The server does what the schedule says through NextPipeStep; once done, it
// is not due again at the same moment, so the server never spins on it.
TEST(PipeScheduleTest, WhatIsDoneIsNotDueAgain) {
    for (const Case& c : Cases()) {
        std::vector<PipeInstanceView> after = c.instances;
        const PipeSchedule schedule = SchedulePipe(after, c.moment, c.rules);
        for (std::size_t i = 0; i < after.size(); ++i) {
            switch (schedule.due[i]) {
                case D::kNothing:
                    break;
                case D::kMake:
                    after[i].phase = NextPipeStep(after[i].phase, PipeEvent::kMade).phase;
                    break;
                case D::kTimeOut:
                    after[i].phase = NextPipeStep(after[i].phase, PipeEvent::kDeadlinePassed).phase;
                    break;
                case D::kLetGo:
                    after[i].phase = NextPipeStep(after[i].phase, PipeEvent::kRoomNeeded).phase;
                    break;
            }
        }
        const PipeSchedule again = SchedulePipe(after, c.moment, c.rules);
        for (std::size_t i = 0; i < after.size(); ++i) {
            if (schedule.due[i] != D::kNothing) {
                EXPECT_EQ(again.due[i], D::kNothing) << c.name << ", instance " << i;
            }
        }
        EXPECT_EQ(std::count(again.due.begin(), again.due.end(), D::kLetGo), 0) << c.name;
    }
}

}  // namespace
}  // namespace velk
