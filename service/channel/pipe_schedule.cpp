#include "service/channel/pipe_schedule.h"

#include <algorithm>

namespace velk {
namespace {

std::uint64_t After(std::uint64_t since, std::uint64_t ms) {
    return ms >= kPipeNever - since ? kPipeNever : since + ms;
}

// When the instance is due, whatever for; kPipeNever when only an event moves
// it.
std::uint64_t DueAt(const PipeInstanceView& instance, const PipeMoment& moment,
                    const PipeScheduleRules& rules) {
    const bool stopped = moment.stoppedAt != kPipeNever;
    switch (instance.phase) {
        case PipePhase::kClosed:
            if (stopped) {
                return kPipeNever;
            }
            return moment.makeFailedAt == kPipeNever ? 0
                                                     : After(moment.makeFailedAt, rules.pauseMs);
        case PipePhase::kReading:
            return After(instance.connectedAt, rules.stallMs);
        case PipePhase::kWriting: {
            const std::uint64_t end = After(instance.writingSince, rules.stallMs);
            if (!stopped) {
                return end;
            }
            return std::min(
                end, After(std::max(moment.stoppedAt, instance.writingSince), rules.stopGraceMs));
        }
        case PipePhase::kStuck:
            return stopped ? kPipeNever : After(instance.heldAt, rules.pauseMs);
        default:
            return kPipeNever;
    }
}

}  // namespace

PipeSchedule SchedulePipe(const std::vector<PipeInstanceView>& instances, const PipeMoment& moment,
                          const PipeScheduleRules& rules) {
    PipeSchedule schedule;
    schedule.due.assign(instances.size(), PipeDue::kNothing);
    const bool stopped = moment.stoppedAt != kPipeNever;
    bool anyDue = false;
    for (std::size_t i = 0; i < instances.size(); ++i) {
        const std::uint64_t at = DueAt(instances[i], moment, rules);
        if (at <= moment.now) {
            const bool closed = instances[i].phase == PipePhase::kClosed;
            schedule.due[i] = closed ? PipeDue::kMake : PipeDue::kTimeOut;
            anyDue = true;
        }
        schedule.wakeAt = std::min(schedule.wakeAt, at);
        if (!stopped && instances[i].phase == PipePhase::kIdle) {
            schedule.wakeAt = moment.now;  // to be offered without waiting
        }
    }
    // What is due now frees an instance or sends a client on its way, so
    // nobody else goes for room before that has happened.
    if (!anyDue && !stopped) {
        const PipeRoomChoice room = ChooseClientToLetGo(instances, moment.now, rules.room);
        if (room.letGo) {
            schedule.due[room.index] = PipeDue::kLetGo;
        }
        schedule.wakeAt = std::min(schedule.wakeAt, room.lookAgainAt);
    }
    // What is overdue is due now.
    schedule.wakeAt = std::max(schedule.wakeAt, moment.now);
    return schedule;
}

}  // namespace velk
