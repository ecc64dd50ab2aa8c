#include "service/policy/caller_access.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velk {
namespace {

TokenFacts Token(const wchar_t* sid, bool system, bool admin, bool member) {
    return TokenFacts{true, sid, system, admin, member};
}

CallerIdentity Caller(CallerRank rank, const wchar_t* sid) {
    return CallerIdentity{rank, sid, sid, 1234};
}

// The rank is the lower of the two tokens', and only when both name one
// account or the process is LocalSystem: a process id reused by another
// account's process must not lend that process's rank to the request.
TEST(CallerRankTest, TheLessTrustedTokenOfOneAccountDecides) {
    const TokenFacts system = Token(L"S-1-5-18", true, false, false);
    const TokenFacts admin = Token(L"S-1-5-21-1", false, true, false);
    const TokenFacts member = Token(L"S-1-5-21-1", false, false, true);
    const TokenFacts plain = Token(L"S-1-5-21-1", false, false, false);
    const TokenFacts otherAdmin = Token(L"S-1-5-21-2", false, true, false);
    const TokenFacts otherMember = Token(L"S-1-5-21-2", false, false, true);
    // A SID that only begins like the other: compared whole, not by prefix.
    const TokenFacts longerMember = Token(L"S-1-5-21-11", false, false, true);
    const TokenFacts unread{};
    const TokenFacts noSid = Token(L"", true, true, true);
    struct Case {
        const char* name;
        TokenFacts impersonation;
        TokenFacts process;
        CallerRank rank;
    };
    const std::vector<Case> cases = {
        {"system both", system, system, CallerRank::kLocalSystem},
        {"elevated both", admin, admin, CallerRank::kAdministrator},
        {"member both", member, member, CallerRank::kMember},
        {"elevated request from a filtered process", admin, plain, CallerRank::kUntrusted},
        {"member request from an elevated process", member, admin, CallerRank::kMember},
        {"system process speaking for a member", member, system, CallerRank::kMember},
        {"plain user", plain, plain, CallerRank::kUntrusted},
        {"request token unread", unread, admin, CallerRank::kUntrusted},
        {"process token unread", admin, unread, CallerRank::kUntrusted},
        {"token without a user", noSid, noSid, CallerRank::kUntrusted},
        {"member request from another member's process", member, otherMember,
         CallerRank::kUntrusted},
        {"member request from a longer SID's process", member, longerMember,
         CallerRank::kUntrusted},
        {"member request from another administrator's process", member, otherAdmin,
         CallerRank::kUntrusted},
        {"elevated request from another administrator's process", admin, otherAdmin,
         CallerRank::kUntrusted},
        {"system request from a user's process", system, admin, CallerRank::kUntrusted},
        {"system process speaking for an administrator", admin, system, CallerRank::kAdministrator},
        {"system process speaking for a stranger", plain, system, CallerRank::kUntrusted},
        {"system process with an unread request token", unread, system, CallerRank::kUntrusted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IdentityOf(c.impersonation, c.process, 1, L"").rank, c.rank);
    }
}

TEST(MayCarryOutTest, OwnersKeepTheirSessionsFromOtherMembers) {
    const CallerIdentity alice = Caller(CallerRank::kMember, L"S-1-5-21-alice");
    const CallerIdentity bob = Caller(CallerRank::kMember, L"S-1-5-21-bob");
    const CallerIdentity admin = Caller(CallerRank::kAdministrator, L"S-1-5-21-admin");
    const CallerIdentity system = Caller(CallerRank::kLocalSystem, L"S-1-5-18");
    const CallerIdentity stranger = Caller(CallerRank::kUntrusted, L"S-1-5-21-eve");
    const SessionOwners none{};
    const SessionOwners alices{L"S-1-5-21-alice", L"S-1-5-21-alice", L"S-1-5-21-alice"};
    using A = GuardedAction;
    struct Case {
        const char* name;
        A action;
        CallerIdentity caller;
        SessionOwners owners;
        bool coreRunning;
        bool allowed;
    };
    const std::vector<Case> cases = {
        {"stranger starts a core", A::kXrayStart, stranger, none, false, false},
        {"stranger stops routing", A::kRouteStop, stranger, none, false, false},
        {"stranger reads the log", A::kXrayLastError, stranger, none, false, false},
        {"member starts a free core", A::kXrayStart, bob, none, false, true},
        {"member routes a free machine", A::kRouteStart, bob, none, false, true},
        {"member replaces another's core", A::kXrayStart, bob, alices, true, false},
        {"member stops another's core", A::kXrayStop, bob, alices, true, false},
        {"member reads another's running core", A::kXrayLastError, bob, alices, true, false},
        {"member reads another's ended core", A::kXrayLastError, bob, alices, false, false},
        {"member reroutes another's routing", A::kRouteStart, bob, alices, false, false},
        {"member restores another's routing", A::kRouteStop, bob, alices, false, false},
        {"member starts once another's core ended", A::kXrayStart, bob, alices, false, true},
        {"member reads with no core ever", A::kXrayLastError, bob, none, false, false},
        {"owner starts again", A::kXrayStart, alice, alices, true, true},
        {"owner stops", A::kXrayStop, alice, alices, true, true},
        {"owner reads", A::kXrayLastError, alice, alices, true, true},
        {"owner reads after the core ended", A::kXrayLastError, alice, alices, false, true},
        {"owner restores", A::kRouteStop, alice, alices, false, true},
        {"administrator stops another's core", A::kXrayStop, admin, alices, true, true},
        {"administrator reads another's core", A::kXrayLastError, admin, alices, true, true},
        {"administrator restores another's routing", A::kRouteStop, admin, alices, false, true},
        {"system replaces another's routing", A::kRouteStart, system, alices, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MayCarryOut(c.action, c.caller, c.owners, c.coreRunning), c.allowed);
    }
}

// What a route action's outcome does to whose the routing is; netsteer's
// exit code 7 (no usable state file) frees it as a restore does, any other
// failure leaves it where it was.
TEST(RouteOwnerAfterTest, OnlyTheOutcomesThatChangeTheRoutingMoveItsOwner) {
    using E = SessionEffect;
    const std::wstring alice = L"S-1-5-21-alice";
    const std::wstring bob = L"S-1-5-21-bob";
    struct Case {
        const char* name;
        SessionEffect effect;
        bool ok;
        std::uint32_t code;
        std::wstring owner;  // after, when alice held it and bob acted
    };
    const std::vector<Case> cases = {
        {"routing started", E::kRouteTakenOnSuccess, true, 0, bob},
        {"start failed", E::kRouteTakenOnSuccess, false, 4, alice},
        {"restored", E::kRouteFreedOnRestore, true, 0, L""},
        {"nothing to restore", E::kRouteFreedOnRestore, false, 7, L""},
        {"restore failed", E::kRouteFreedOnRestore, false, 6, alice},
        {"a core started", E::kCoreTakenByStart, true, 0, alice},
        {"a core stopped", E::kCoreEnded, true, 0, alice},
        {"a read", E::kNone, true, 0, alice},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RouteOwnerAfter(c.effect, c.ok, c.code, bob, alice), c.owner);
    }
}

}  // namespace
}  // namespace velk
