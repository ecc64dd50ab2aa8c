#pragma once
// What one instance of the service pipe is doing, and how it moves on: a pure
// function of the phase and what happened, so that every outcome is decided
// in one place (and tested without a pipe). It is the only writer of the
// phase.
#include <cstdint>

namespace velk {

enum class PipePhase {
    kClosed,     // no instance: to be made (only while the name is not all ours)
    kIdle,       // made or disconnected: to be offered to the next client
    kListening,  // waiting for a client
    kReading,    // waiting for the client's request
    kQueued,     // request read, waiting its turn
    kWriting,    // the client is taking the answer
    kStuck,      // could not be offered again: kept, and tried again after a pause
    // An operation cancelled (a bound, room, the stop) whose completion has
    // not come back yet: it still owns the instance's record and buffer, and
    // nobody else is let go meanwhile, since its client is on the way out.
    kListenCancelled,  // the wait for a client: nobody new is taken in
    kReadCancelled,    // the read: a request that arrived first is still taken
    kWriteCancelled,   // the write: the client goes however it ends
};

enum class PipeEvent {
    kMade,              // the instance was made
    kOffered,           // its turn to be offered to the next client has come
    kConnected,         // a client connected
    kClientGone,        // a client came and went before it was connected
    kReadDone,          // the request's read completed, with its byte count
    kAnswerReady,       // the request's turn came and its answer is ready
    kWriteDone,         // the client has taken the whole answer
    kFailed,            // the operation failed, or could not be started
    kCancelled,         // the operation was cancelled before it completed
    kDeadlinePassed,    // the bound of the operation, or of a stuck instance's pause
    kRoomNeeded,        // every instance is taken and this client is let go for room
    kDisconnectFailed,  // the client could not be let go
    kStopping,          // the server stops: no new client, no new request
    kGivingUp,          // the name is given up: whatever is under way is cancelled
    kClosing,           // its operations are over, or waited for long enough
};

enum class PipeAction {
    kNone,
    kListen,   // wait for a client
    kRead,     // start reading the client's request
    kQueue,    // hand the request on, in its turn
    kWrite,    // start writing the answer
    kRecycle,  // let the client go and offer the instance again
    kHold,     // keep the instance as it is (closing it would leave room under the
               // name for someone else's) and try again after a pause
    kCancel,   // cancel the operation under way; its completion moves on
    kClose,    // let the client go and close the instance
};

struct PipeStep {
    PipePhase phase;
    PipeAction action;
};

// The phase an instance in `phase` takes on `event`, and what to do. `bytes`
// is the byte count of kReadDone: an empty read is no request. An event that
// means nothing in `phase` leaves it as it is, with nothing to do.
PipeStep NextPipeStep(PipePhase phase, PipeEvent event, std::uint32_t bytes = 0);

// The operation an instance in `phase` has under way, cancelled or not,
// whose completion is still to come.
enum class PipeOperation { kNone, kConnect, kRead, kWrite };
PipeOperation OperationUnderWay(PipePhase phase);

}  // namespace velk
