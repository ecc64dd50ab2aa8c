#pragma once
// What one instance of the service pipe is doing, and how it moves on: a pure
// function of the phase and what happened, so that every outcome is decided
// in one place (and tested without a pipe).
#include <cstdint>

namespace velk {

enum class PipePhase {
    kClosed,     // no instance: to be created (only while the name is not all ours)
    kIdle,       // created or disconnected: to be offered to the next client
    kListening,  // waiting for a client
    kReading,    // waiting for the client's request
    kQueued,     // request read, waiting its turn
    kWriting,    // the client is taking the answer
    kStuck,      // could not be offered again: kept, and tried again after a pause
};

enum class PipeEvent {
    kConnected,         // a client connected
    kClientGone,        // a client came and went before it was connected
    kReadDone,          // the request's read completed, with its byte count
    kWriteDone,         // the client has taken the whole answer
    kFailed,            // the operation failed, or could not be started
    kCancelled,         // the operation was cancelled before it completed
    kDeadlinePassed,    // the bound of the operation, or of a stuck instance's pause
    kRoomNeeded,        // every instance is taken and this client is let go for room
    kDisconnectFailed,  // the client could not be let go
};

enum class PipeAction {
    kNone,
    kRead,     // start reading the client's request
    kQueue,    // hand the request on, in its turn
    kRecycle,  // let the client go and offer the instance again
    kHold,     // keep the instance as it is (closing it would leave room under the
               // name for someone else's) and try again after a pause
    kCancel,   // cancel the operation under way; its completion moves on
};

struct PipeStep {
    PipePhase phase;
    PipeAction action;
};

// The phase an instance in `phase` takes on `event`, and what to do. `bytes`
// is the byte count of kReadDone: an empty read is no request. An event that
// means nothing in `phase` leaves it as it is, with nothing to do.
PipeStep NextPipeStep(PipePhase phase, PipeEvent event, std::uint32_t bytes = 0);

}  // namespace velk
