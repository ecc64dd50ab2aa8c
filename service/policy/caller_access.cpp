#include "service/policy/caller_access.h"

#include <algorithm>

#include "netsteer/netsteer_constants.h"

namespace velk {
namespace {

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

std::wstring RouteOwnerAfter(SessionEffect effect, bool ok, std::uint32_t code,
                             const std::wstring& callerSid, const std::wstring& owner) {
    switch (effect) {
        case SessionEffect::kRouteTakenOnSuccess:
            return ok ? callerSid : owner;
        case SessionEffect::kRouteFreedOnRestore:
            return ok || code == static_cast<std::uint32_t>(netsteer::kExitNoStateOnStop)
                       ? std::wstring()
                       : owner;
        case SessionEffect::kNone:
        case SessionEffect::kCoreTakenByStart:
        case SessionEffect::kCoreEnded:
            break;
    }
    return owner;
}

}  // namespace velk
