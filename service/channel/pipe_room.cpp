#include "service/channel/pipe_room.h"

#include <algorithm>
#include <map>

namespace velk {
namespace {

bool IsRoom(const PipeInstanceView& instance) {
    switch (instance.phase) {
        case PipePhase::kIdle:
        case PipePhase::kListening:
        case PipePhase::kListenCancelled:
        case PipePhase::kReadCancelled:
        case PipePhase::kWriteCancelled:
            return true;
        default:
            return false;
    }
}

// A client the server waits on, which cancelling its read or write lets go.
bool Waiting(const PipeInstanceView& instance) {
    return instance.phase == PipePhase::kReading || instance.phase == PipePhase::kWriting;
}

// When the client's grace ends.
std::uint64_t GraceEnd(const PipeInstanceView& instance, std::uint64_t graceMs) {
    const std::uint64_t since =
        instance.phase == PipePhase::kWriting ? instance.writingSince : instance.connectedAt;
    return since + graceMs;
}

}  // namespace

bool PipeHasRoom(const std::vector<PipeInstanceView>& instances) {
    return std::any_of(instances.begin(), instances.end(), IsRoom);
}

PipeRoomChoice ChooseClientToLetGo(const std::vector<PipeInstanceView>& instances,
                                   std::uint64_t now, const PipeRoomRules& rules) {
    PipeRoomChoice choice;
    if (PipeHasRoom(instances)) {
        return choice;
    }
    std::map<std::uint32_t, std::size_t> held;
    for (const PipeInstanceView& instance : instances) {
        if (instance.clientProcessId != 0 && instance.phase != PipePhase::kClosed &&
            instance.phase != PipePhase::kStuck) {
            ++held[instance.clientProcessId];
        }
    }
    auto overCap = [&](const PipeInstanceView& instance) {
        return instance.clientProcessId != 0 && held[instance.clientProcessId] > rules.perProcess;
    };
    // The oldest of those `eligible`, if any.
    auto oldest = [&](auto eligible) {
        for (std::size_t i = 0; i < instances.size(); ++i) {
            if (Waiting(instances[i]) && eligible(instances[i]) &&
                (!choice.letGo || instances[i].arrival < instances[choice.index].arrival)) {
                choice.letGo = true;
                choice.index = i;
            }
        }
        return choice.letGo;
    };
    auto pastGrace = [&](const PipeInstanceView& instance) {
        return GraceEnd(instance, rules.graceMs) <= now;
    };
    // While a process over its share holds a client that can be let go, it
    // pays for the room: nobody else goes, even when it must wait for that
    // client's grace.
    const bool crowded =
        std::any_of(instances.begin(), instances.end(),
                    [&](const PipeInstanceView& i) { return Waiting(i) && overCap(i); });
    auto candidate = [&](const PipeInstanceView& i) { return !crowded || overCap(i); };
    if (oldest([&](const PipeInstanceView& i) { return candidate(i) && pastGrace(i); })) {
        choice.lookAgainAt = now;
        return choice;
    }
    for (const PipeInstanceView& instance : instances) {
        if (Waiting(instance) && candidate(instance)) {
            choice.lookAgainAt = std::min(choice.lookAgainAt, GraceEnd(instance, rules.graceMs));
        }
    }
    return choice;
}

}  // namespace velk
