#include "service/supervision/core_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/supervision/core_start_outcome.h"

namespace velk {
namespace {

// The answers on the pipe are what clients have always been told; each
// outcome says whether a core ran, which is what moves the session.
TEST(CoreStartOutcomeTest, EachOutcomeKeepsItsAnswer) {
    struct Case {
        const char* name;
        CoreStartOutcome outcome;
        bool ok;
        std::uint32_t code;
        bool ranCore;
    };
    const Case cases[] = {
        {"started", CoreStarted(), true, 0, true},
        {"already running", CoreAlreadyRunning(), true, 0, false},
        {"refused", CoreStartRefused(L"not a JSON object"), false, 87, false},
        {"ended at once", CoreEndedAtOnce(23u), false, 23, true},
        {"ended at once with 0", CoreEndedAtOnce(0u), false, 0, true},
        {"ended at once, code above 2^31", CoreEndedAtOnce(3221225477u), false, 3221225477u, true},
        {"ended, exit code unread", CoreEndedAtOnce(Win32Error{L"GetExitCodeProcess", 6}), false, 6,
         true},
        {"creation failed", CoreStartFailed(Win32Error{L"CreateProcessW", 2}), false, 2, false},
        {"caller may not read", CoreStartFailed(Win32Error{L"AccessCheck", 5}), false, 5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const OpResult answer = AnswerOf(c.outcome);
        EXPECT_EQ(answer.ok, c.ok);
        EXPECT_EQ(answer.code, c.code);
        EXPECT_EQ(RanCore(c.outcome), c.ranCore);
    }
    EXPECT_EQ(CoreStartRefused(L"a device name").refusal.reason, L"a device name");
}

CoreLogMarks Marks(std::int64_t runtimeEnd, std::int64_t errorEnd) {
    return CoreLogMarks{L"C:\\data\\runtime.log", runtimeEnd, errorEnd};
}

// Starts in order, each by its account with the logs at the given lengths:
// whose the session is afterwards and where its part of each log begins.
TEST(CoreSessionLedgerTest, OnlyAStartThatRanACoreMovesTheSession) {
    struct Step {
        const char* name;
        CoreStartOutcome outcome;
        std::wstring caller;
        CoreLogMarks marks;
        std::wstring owner;  // empty: no session
        std::int64_t runtimeMark;
        std::int64_t errorMark;
    };
    const std::vector<Step> steps = {
        {"refused before any session", CoreStartRefused(L"UNC"), L"bob", Marks(40, 4), L"", 0, 0},
        {"failed before any session", CoreStartFailed(Win32Error{L"CreateProcessW", 2}), L"bob",
         Marks(40, 4), L"", 0, 0},
        {"alice's core starts", CoreStarted(), L"alice", Marks(100, 10), L"alice", 100, 10},
        {"an administrator finds it running", CoreAlreadyRunning(), L"admin", Marks(300, 30),
         L"alice", 100, 10},
        {"bob's path is refused", CoreStartRefused(L"a link"), L"bob", Marks(500, 50), L"alice",
         100, 10},
        {"bob's creation fails", CoreStartFailed(Win32Error{L"CreateProcessW", 5}), L"bob",
         Marks(500, 50), L"alice", 100, 10},
        {"bob's core ends at once", CoreEndedAtOnce(23u), L"bob", Marks(500, 50), L"bob", 500, 50},
        {"alice's next core starts after bob's output", CoreStarted(), L"alice", Marks(640, 50),
         L"alice", 640, 50},
    };
    CoreSessionLedger ledger;
    EXPECT_EQ(ledger.Current(), nullptr);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        ledger.Settle(step.outcome, step.caller, step.marks);
        const CoreSessionFacts* session = ledger.Current();
        ASSERT_EQ(session == nullptr, step.owner.empty());
        if (session != nullptr) {
            EXPECT_EQ(session->owner, step.owner);
            EXPECT_EQ(session->marks.runtimePath, L"C:\\data\\runtime.log");
        }
        EXPECT_EQ(ledger.Mark(CoreLog::kRuntime), step.runtimeMark);
        EXPECT_EQ(ledger.Mark(CoreLog::kError), step.errorMark);
    }
}

}  // namespace
}  // namespace velk
