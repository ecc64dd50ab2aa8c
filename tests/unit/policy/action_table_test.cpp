#include "service/policy/action_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace velk {
namespace {

std::vector<const ActionRow*> AllRows() {
    std::size_t count = 0;
    const ActionRow* rows = ActionRows(count);
    std::vector<const ActionRow*> all;
    for (std::size_t i = 0; i < count; ++i) {
        all.push_back(&rows[i]);
    }
    return all;
}

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (const wchar_t* unit = text; unit != nullptr && *unit != L'\0'; ++unit) {
        narrow += static_cast<char>(*unit);
    }
    return narrow;
}

// Opening an action to everyone is a decision to make on purpose: a row
// added without a guard, or a guard taken off, fails here until this list
// says so too. What is open may only read.
TEST(ActionTableTest, OnlyTheStatusQueriesAreOpenAndTheyChangeNothing) {
    const std::set<std::wstring> expectedOpen = {L"status", L"xray_status"};
    std::set<std::wstring> open;
    for (const ActionRow* row : AllRows()) {
        SCOPED_TRACE(Narrow(row->name));
        if (row->guard) {
            continue;
        }
        open.insert(row->name);
        EXPECT_EQ(row->alias, nullptr);
        EXPECT_EQ(row->effect, SessionEffect::kNone);
        EXPECT_TRUE(row->handler == ActionHandler::kServiceStatus ||
                    row->handler == ActionHandler::kCoreStatus);
    }
    EXPECT_EQ(open, expectedOpen);
}

// Every word of the protocol, aliases included, finds the row that guards it
// as the access rules expect.
TEST(ActionTableTest, EachRequestWordIsGuardedAsExpected) {
    using A = GuardedAction;
    struct Case {
        const wchar_t* word;
        A guard;
        SessionEffect effect;
    };
    const std::vector<Case> cases = {
        {L"xray_start", A::kXrayStart, SessionEffect::kCoreTakenByStart},
        {L"xray_stop", A::kXrayStop, SessionEffect::kCoreEnded},
        {L"xray_last_error", A::kXrayLastError, SessionEffect::kNone},
        {L"route_start", A::kRouteStart, SessionEffect::kRouteTakenOnSuccess},
        {L"start", A::kRouteStart, SessionEffect::kRouteTakenOnSuccess},
        {L"route_stop", A::kRouteStop, SessionEffect::kRouteFreedOnRestore},
        {L"stop", A::kRouteStop, SessionEffect::kRouteFreedOnRestore},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.word));
        const ActionRow* row = FindAction(c.word);
        ASSERT_NE(row, nullptr);
        ASSERT_TRUE(row->guard.has_value());
        EXPECT_EQ(*row->guard, c.guard);
        EXPECT_EQ(row->effect, c.effect);
    }
}

// Refusal events name an action by ActionName; the name must lead back to
// the same guard, and each guard must have exactly one row.
TEST(ActionTableTest, GuardNamesRoundTripAndEachGuardHasOneRow) {
    using A = GuardedAction;
    for (A action :
         {A::kXrayStart, A::kXrayStop, A::kXrayLastError, A::kRouteStart, A::kRouteStop}) {
        SCOPED_TRACE(static_cast<int>(action));
        const std::wstring name = ActionName(action);
        ASSERT_FALSE(name.empty());
        const ActionRow* row = FindAction(name);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row, RowOf(action));
        EXPECT_EQ(row->guard, action);
        int rows = 0;
        for (const ActionRow* other : AllRows()) {
            rows += other->guard == action ? 1 : 0;
        }
        EXPECT_EQ(rows, 1);
    }
}

// A word that named two rows would be carried out by the first alone.
TEST(ActionTableTest, NamesAndAliasesAreUniqueAndFindTheirRow) {
    std::set<std::wstring> words;
    for (const ActionRow* row : AllRows()) {
        SCOPED_TRACE(Narrow(row->name));
        EXPECT_TRUE(words.insert(row->name).second);
        EXPECT_EQ(FindAction(row->name), row);
        if (row->alias != nullptr) {
            EXPECT_TRUE(words.insert(row->alias).second);
            EXPECT_EQ(FindAction(row->alias), row);
        }
        // Only the route helper's rows give netsteer a verb, and they must.
        EXPECT_EQ(row->helperVerb != nullptr, row->handler == ActionHandler::kRouteHelper);
    }
}

TEST(ActionTableTest, WordsMatchExactly) {
    for (const wchar_t* word : {L"", L"Status", L"STATUS", L"status ", L" xray_stop", L"route",
                                L"xray_start\n", L"Start"}) {
        SCOPED_TRACE(Narrow(word));
        EXPECT_EQ(FindAction(word), nullptr);
    }
}

}  // namespace
}  // namespace velk
