#pragma once
// Who may drive the service. The pipe is open to every local account so that
// the user interface, which runs without elevation, can reach it; each
// request is therefore judged by who sent it. Everyone may ask whether the
// service and the core run. Everything else is for trusted callers: LocalSystem,
// an elevated administrator, or a member of "VelkVPN Users". A session (the
// running core, the routing in force) belongs to the account that started
// it: another member can neither stop, replace nor read it; LocalSystem and
// elevated administrators can, as they could anyway.
#include <cstdint>
#include <string>

#include "service/policy/action_table.h"

namespace velk {

// Ordered: a caller is as trusted as the less trusted of its two tokens.
enum class CallerRank { kUntrusted, kMember, kAdministrator, kLocalSystem };

// What one token said of its holder; `read` is false when the token could not
// be had or asked, and then nothing else counts.
struct TokenFacts {
    bool read = false;
    std::wstring userSid;  // "S-1-5-..."
    bool localSystem = false;
    // A member of BUILTIN\Administrators with the group enabled (an elevated
    // token; a filtered one holds it for deny only).
    bool elevatedAdministrator = false;
    bool groupMember = false;  // in "VelkVPN Users", by token or by the group's list
};

CallerRank RankOf(const TokenFacts& token);

struct CallerIdentity {
    CallerRank rank = CallerRank::kUntrusted;
    std::wstring userSid;         // empty when unknown
    std::wstring account;         // "DOMAIN\name" for people, or the SID
    std::uint32_t processId = 0;  // 0 when unknown
};

// The caller behind a request, from the token it sent with the request
// (impersonation) and the token of its process: the rank is the lower of the
// two (a program the user never meant to run cannot borrow an elevated
// token's rank, nor an elevated program a stranger's), and the account is the
// one the request speaks for, the impersonation token's user. The two must
// name the same user, unless the process is LocalSystem (a system service
// speaking for a user): otherwise the process found by the pipe's client
// process id may not be the one that sent the request (the id was reused),
// and the caller is untrusted.
CallerIdentity IdentityOf(const TokenFacts& impersonation, const TokenFacts& process,
                          std::uint32_t processId, std::wstring account);

// Who holds what, by user SID; empty: nobody.
struct SessionOwners {
    std::wstring core;      // the account whose core runs (while it runs)
    std::wstring lastCore;  // the account that last had the service start a core
    std::wstring route;     // the account whose route_start is in force
};

// The decision alone: may `caller` carry out `action` now, given who holds
// the sessions and whether the recorded core still runs.
bool MayCarryOut(GuardedAction action, const CallerIdentity& caller, const SessionOwners& owners,
                 bool coreRunning);

// Whose the routing is once an admitted action whose row has `effect` ended
// with (`ok`, `code`): the caller's when routing started, nobody's when it
// was restored or netsteer found no usable state to restore (nothing was
// left to undo); otherwise still `owner`'s.
std::wstring RouteOwnerAfter(SessionEffect effect, bool ok, std::uint32_t code,
                             const std::wstring& callerSid, const std::wstring& owner);

}  // namespace velk
