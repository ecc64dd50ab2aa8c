#include "service/channel/caller_access.h"

#include <algorithm>

#include "common/wide_text.h"
#include "netsteer/netsteer_constants.h"

namespace velk {
namespace {

bool ConcernsCore(GuardedAction action) {
    return action != GuardedAction::kRouteStart && action != GuardedAction::kRouteStop;
}

bool Overrides(const CallerIdentity& caller) {
    return caller.rank >= CallerRank::kAdministrator;
}

// A session held by someone else keeps members out.
bool FreeFor(const std::wstring& owner, const CallerIdentity& caller) {
    return owner.empty() || owner == caller.userSid || Overrides(caller);
}

}  // namespace

CallerRank RankOf(const TokenFacts& token) {
    if (!token.read || token.userSid.empty()) {
        return CallerRank::kUntrusted;
    }
    if (token.localSystem) {
        return CallerRank::kLocalSystem;
    }
    if (token.elevatedAdministrator) {
        return CallerRank::kAdministrator;
    }
    return token.groupMember ? CallerRank::kMember : CallerRank::kUntrusted;
}

CallerIdentity IdentityOf(const TokenFacts& impersonation, const TokenFacts& process,
                          std::uint32_t processId, std::wstring account) {
    CallerIdentity identity;
    const bool oneAccount = impersonation.userSid == process.userSid || process.localSystem;
    identity.rank =
        oneAccount ? std::min(RankOf(impersonation), RankOf(process)) : CallerRank::kUntrusted;
    identity.userSid = impersonation.read ? impersonation.userSid : std::wstring();
    identity.account = account.empty() ? identity.userSid : std::move(account);
    identity.processId = processId;
    return identity;
}

bool MayCarryOut(GuardedAction action, const CallerIdentity& caller, const SessionOwners& owners,
                 bool coreRunning) {
    if (caller.rank == CallerRank::kUntrusted || caller.userSid.empty()) {
        return false;
    }
    const std::wstring runningCore = coreRunning ? owners.core : std::wstring();
    switch (action) {
        case GuardedAction::kXrayStart:
        case GuardedAction::kXrayStop:
            return FreeFor(runningCore, caller);
        case GuardedAction::kXrayLastError:
            // The core's output tells which servers and sites were used: it
            // is for whoever had the core started last (running or ended),
            // and for those who could read the log file anyway.
            return Overrides(caller) ||
                   (!owners.lastCore.empty() && owners.lastCore == caller.userSid &&
                    FreeFor(runningCore, caller));
        case GuardedAction::kRouteStart:
        case GuardedAction::kRouteStop:
            return FreeFor(owners.route, caller);
    }
    return false;
}

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
    if (row == nullptr) {
        return;
    }
    switch (row->effect) {
        case SessionEffect::kRouteTakenOnSuccess:
            if (result.ok) {
                routeOwner_ = caller.userSid;
            }
            break;
        case SessionEffect::kRouteFreedOnRestore:
            // netsteer's "no usable state file": nothing was left to undo,
            // so no routing of anyone's is in force.
            if (result.ok ||
                result.code == static_cast<std::uint32_t>(netsteer::kExitNoStateOnStop)) {
                routeOwner_.clear();
            }
            break;
        case SessionEffect::kNone:
        case SessionEffect::kCoreTakenByStart:
        case SessionEffect::kCoreEnded:
            break;
    }
}

}  // namespace velk
