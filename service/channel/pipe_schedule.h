#pragma once
// When each instance of the service pipe is due for something, and who is let
// go for room: a pure function of what every instance is doing and the time,
// so that every deadline is kept, and tested, in one place. The server does
// what it says, then waits for completions until its wake time.
#include <cstdint>
#include <vector>

#include "service/channel/pipe_room.h"

namespace velk {

// What the schedule follows.
struct PipeScheduleRules {
    // How long a client may take to write its request, and again to take its
    // answer (kPipeNever: no bound).
    std::uint64_t stallMs = kPipeNever;
    // How long a stuck instance is kept before it is tried again, and how long
    // after an instance could not be made the next is tried.
    std::uint64_t pauseMs = 0;
    // How long after the stop (or after the write, if later) an answer may
    // still be taken.
    std::uint64_t stopGraceMs = 0;
    PipeRoomRules room;
};

// The time, and what has happened to the pipe as a whole.
struct PipeMoment {
    std::uint64_t now = 0;
    std::uint64_t stoppedAt = kPipeNever;     // when the stop was seen; kPipeNever: serving
    std::uint64_t makeFailedAt = kPipeNever;  // when an instance last could not be made
};

enum class PipeDue {
    kNothing,
    kMake,     // make the instance
    kTimeOut,  // its bound, or its pause, has passed (PipeEvent::kDeadlinePassed)
    kLetGo,    // its client is let go for room (PipeEvent::kRoomNeeded)
};

struct PipeSchedule {
    std::vector<PipeDue> due;  // one for each instance, in order
    // When to look again if nothing happens meanwhile: now when anything is
    // due or an instance waits to be offered, kPipeNever when only an event
    // can change anything.
    std::uint64_t wakeAt = kPipeNever;
};

// While serving: a closed instance is made at once, or `pauseMs` after the
// last failure to make one; a client's request is due `stallMs` after it
// connected and its answer taken `stallMs` after the write began; a stuck
// instance is tried again `pauseMs` after it was held. When nothing of that
// is due, ChooseClientToLetGo says who is let go for room. Once stopped,
// nothing is made, offered, tried again or let go for room, and an answer
// being taken has its bound shortened to `stopGraceMs` from the stop (or
// from its write, if later). A cancelled operation has no bound: its
// completion is on the way.
PipeSchedule SchedulePipe(const std::vector<PipeInstanceView>& instances, const PipeMoment& moment,
                          const PipeScheduleRules& rules);

}  // namespace velk
