#pragma once
// The sessions of one service run as the access rules see them: who holds
// the routing, and the core session asked of the supervision. The decisions
// are the policy's (MayCarryOut, the action table's effects); this keeps the
// state and gathers the facts.
#include <string>
#include <utility>

#include "service/policy/caller_access.h"
#include "service/supervision/command_operations.h"
#include "service/supervision/service_events.h"

namespace velk {

// What the sessions of one service run admit. The core session is the
// supervision's (CommandOperations::CoreSession): who holds it changes only
// with a start that ran a core. The routing is kept here. One thread at a
// time (the pipe server's).
class SessionAccess {
  public:
    explicit SessionAccess(EventSink events = nullptr) : events_(std::move(events)) {}

    // Whether `caller` may carry out `action`; a refusal is reported as an
    // event (action, account, process id). For the core's actions the core
    // session is asked of `operations`, and whether its core still runs only
    // while the session holds one: a core found ended has no owner.
    bool Admit(GuardedAction action, const CallerIdentity& caller, CommandOperations& operations);

    // Takes note of what an admitted action did, as its row's effect says:
    // routing started belongs to `caller`, restored routing to nobody. The
    // core's effects are the supervision's to keep.
    void Record(GuardedAction action, const CallerIdentity& caller, const OpResult& result);

  private:
    std::wstring routeOwner_;
    EventSink events_;
};

}  // namespace velk
