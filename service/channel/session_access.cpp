#include "service/channel/session_access.h"

#include "common/wide_text.h"
#include "service/policy/action_table.h"

namespace velk {
namespace {

// Read from the action table, so that the actions that touch the core are
// named in one place.
bool ConcernsCore(GuardedAction action) {
    const ActionRow* row = RowOf(action);
    return row == nullptr || row->handler != ActionHandler::kRouteHelper;
}

}  // namespace

bool SessionAccess::Admit(GuardedAction action, const CallerIdentity& caller,
                          CommandOperations& operations) {
    SessionOwners owners;
    owners.route = routeOwner_;
    bool coreRunning = false;
    if (ConcernsCore(action)) {
        const CoreSessionHolder holder = operations.CoreSession();
        coreRunning =
            holder.coreHeld && !holder.owner.empty() && operations.QueryXrayStatus().running;
        owners.core = coreRunning ? holder.owner : std::wstring();
        owners.lastCore = holder.owner;
    }
    if (MayCarryOut(action, caller, owners, coreRunning)) {
        return true;
    }
    if (events_) {
        events_(ServiceEvent::kRequestRefused,
                {ActionName(action), caller.account.empty() ? L"(unknown)" : caller.account,
                 ToDecimal(caller.processId)});
    }
    return false;
}

void SessionAccess::Record(GuardedAction action, const CallerIdentity& caller,
                           const OpResult& result) {
    const ActionRow* row = RowOf(action);
    if (row != nullptr) {
        routeOwner_ =
            RouteOwnerAfter(row->effect, result.ok, result.code, caller.userSid, routeOwner_);
    }
}

}  // namespace velk
