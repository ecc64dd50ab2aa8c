#pragma once
// Which client the pipe server lets go when every instance is taken: a pure
// function of what each instance is doing and the time, so that the rule is
// read, and tested, in one place.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "service/channel/pipe_instance_phase.h"

namespace velk {

// What the server knows of one instance.
struct PipeInstanceView {
    PipePhase phase = PipePhase::kClosed;
    std::uint64_t arrival = 0;  // the order in which clients connected
    std::uint64_t connectedAt = 0;
    std::uint64_t writingSince = 0;     // when the answer's write began (kWriting)
    std::uint64_t heldAt = 0;           // when it was last held (kStuck)
    std::uint32_t clientProcessId = 0;  // 0: not known, counted as a process of its own
};

// The rules the choice follows.
struct PipeRoomRules {
    // How long a client may stay silent after connecting, or leave its
    // answer untaken, before it may be let go.
    std::uint64_t graceMs = 0;
    // How many instances one client process may hold before only its
    // clients are let go.
    std::size_t perProcess = 0;
};

// A time that never comes.
inline constexpr std::uint64_t kPipeNever = std::numeric_limits<std::uint64_t>::max();

struct PipeRoomChoice {
    // The index of the instance whose client to let go; none when there is
    // room already, or nobody may be let go yet.
    bool letGo = false;
    std::size_t index = 0;
    // When to ask again if nothing happens meanwhile (kPipeNever: not until
    // something does).
    std::uint64_t lookAgainAt = kPipeNever;
};

// Whether an instance is free, or soon will be: one listens or is to be
// offered, or its client is already leaving (its operation was cancelled).
bool PipeHasRoom(const std::vector<PipeInstanceView>& instances);

// Nobody is let go while there is room (PipeHasRoom).
// Otherwise the client that connected first among those silent for
// `graceMs` since they connected, or whose answer has waited `graceMs`
// untaken; but while a process holding more than `perProcess` instances has
// a client waiting on either, only that process's clients are let go, and
// nobody until one of them has passed the grace. A request read is always
// carried out, and a client that writes its request and takes its answer
// within the grace is never let go, whatever process it shares.
PipeRoomChoice ChooseClientToLetGo(const std::vector<PipeInstanceView>& instances,
                                   std::uint64_t now, const PipeRoomRules& rules);

}  // namespace velk
