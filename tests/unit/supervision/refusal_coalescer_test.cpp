#include "service/supervision/refusal_coalescer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace velk {
namespace {

constexpr std::uint64_t kWindowMs = 60000;

// One event reaching the coalescer at `atMs`: a refusal when `account` is
// set, else `event` with no inserts.
struct Step {
    std::uint64_t atMs;
    const wchar_t* account;
    const wchar_t* action = L"xray_stop";
    const wchar_t* processId = L"100";
    ServiceEvent event = ServiceEvent::kRequestRefused;
};

Step Other(std::uint64_t atMs, ServiceEvent event) {
    return Step{atMs, nullptr, L"", L"", event};
}

struct Recorder {
    std::vector<std::wstring> written;
    EventSink Sink() {
        return [this](ServiceEvent event, const std::vector<std::wstring>& inserts) {
            std::wstring line = L"event " + std::to_wstring(static_cast<int>(event));
            for (const std::wstring& insert : inserts) {
                line += L"|" + insert;
            }
            written.push_back(line);
        };
    }
};

std::vector<std::wstring> Written(const std::vector<Step>& steps, std::size_t maxAccounts) {
    Recorder recorder;
    std::uint64_t nowMs = 0;
    RefusalCoalescer coalescer(
        recorder.Sink(), [&nowMs] { return nowMs; }, kWindowMs, maxAccounts);
    for (const Step& step : steps) {
        nowMs = step.atMs;
        if (step.account != nullptr) {
            coalescer.Report(ServiceEvent::kRequestRefused,
                             {step.action, step.account, step.processId});
        } else {
            coalescer.Report(step.event, {});
        }
    }
    return recorder.written;
}

TEST(RefusalCoalescerTest, WritesOneEventPerAccountAndWindowWithItsCount) {
    const ServiceEvent started = ServiceEvent::kServiceStarted;
    const ServiceEvent stopped = ServiceEvent::kServiceStopped;
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::wstring> written;
        std::size_t maxAccounts = 4;
    };
    const std::vector<Case> cases = {
        {"the first refusal is written at once",
         {{0, L"PC\\alice"}},
         {L"event 3|xray_stop|PC\\alice|100|1"}},
        {"more within the window are counted, not written",
         {{0, L"PC\\alice"}, {1000, L"PC\\alice"}, {59999, L"PC\\alice"}},
         {L"event 3|xray_stop|PC\\alice|100|1"}},
        {"the next after the window carries the count, itself included",
         {{0, L"PC\\alice"},
          {1000, L"PC\\alice", L"route_start", L"101"},
          {2000, L"PC\\alice", L"xray_start", L"102"},
          {60000, L"PC\\alice", L"route_stop", L"103"},
          {60001, L"PC\\alice"}},
         {L"event 3|xray_stop|PC\\alice|100|1", L"event 3|route_stop|PC\\alice|103|3"}},
        {"after a quiet window the next is written at once, counted alone",
         {{0, L"PC\\alice"}, {200000, L"PC\\alice", L"xray_start", L"104"}},
         {L"event 3|xray_stop|PC\\alice|100|1", L"event 3|xray_start|PC\\alice|104|1"}},
        {"two accounts are independent",
         {{0, L"PC\\alice"},
          {10, L"PC\\bob"},
          {20, L"PC\\alice"},
          {30, L"PC\\bob"},
          {40, L"PC\\bob"},
          {60000, L"PC\\alice"}},
         {L"event 3|xray_stop|PC\\alice|100|1", L"event 3|xray_stop|PC\\bob|100|1",
          L"event 3|xray_stop|PC\\alice|100|2"}},
        {"accounts differing only in case are two",
         {{0, L"PC\\alice"}, {10, L"PC\\Alice"}},
         {L"event 3|xray_stop|PC\\alice|100|1", L"event 3|xray_stop|PC\\Alice|100|1"}},
        {"another event after the window writes what was counted first",
         {{0, L"PC\\alice"},
          {5000, L"PC\\alice", L"route_start", L"105"},
          {70000, nullptr, L"", L"", ServiceEvent::kCoreEnded}},
         {L"event 3|xray_stop|PC\\alice|100|1", L"event 3|route_start|PC\\alice|105|1",
          L"event 4"}},
        {"another event within the window passes alone",
         {{0, L"PC\\alice"}, {5000, L"PC\\alice"}, Other(6000, started)},
         {L"event 3|xray_stop|PC\\alice|100|1", L"event 1"}},
        {"another account's refusal after the window writes alice's count",
         {{0, L"PC\\alice"}, {5000, L"PC\\alice"}, {70000, L"PC\\bob"}},
         {L"event 3|xray_stop|PC\\alice|100|1", L"event 3|xray_stop|PC\\alice|100|1",
          L"event 3|xray_stop|PC\\bob|100|1"}},
        {"the stop writes every count before it, within the window too",
         {{0, L"PC\\alice"},
          {1, L"PC\\alice"},
          {2, L"PC\\alice"},
          {3, L"PC\\bob"},
          {4, L"PC\\carol"},
          {5, L"PC\\carol", L"route_stop", L"106"},
          Other(6, stopped)},
         {L"event 3|xray_stop|PC\\alice|100|1", L"event 3|xray_stop|PC\\bob|100|1",
          L"event 3|xray_stop|PC\\carol|100|1", L"event 3|xray_stop|PC\\alice|100|2",
          L"event 3|route_stop|PC\\carol|106|1", L"event 2"}},
        {"a count written at the stop is not written again",
         {{0, L"PC\\alice"}, {1, L"PC\\alice"}, Other(2, stopped), {60000, L"PC\\alice"}},
         {L"event 3|xray_stop|PC\\alice|100|1", L"event 3|xray_stop|PC\\alice|100|1", L"event 2",
          L"event 3|xray_stop|PC\\alice|100|1"}},
        {"beyond the bound, other accounts share one entry",
         {{0, L"PC\\a"},
          {1, L"PC\\b"},
          {2, L"PC\\c"},
          {3, L"PC\\d"},
          {4, L"PC\\e"},
          {60003, L"PC\\a"},
          {60005, L"PC\\b"}},
         {L"event 3|xray_stop|PC\\a|100|1", L"event 3|xray_stop|PC\\b|100|1",
          L"event 3|xray_stop|(other accounts; the last: PC\\c)|100|1",
          L"event 3|xray_stop|(other accounts; the last: PC\\e)|100|2",
          L"event 3|xray_stop|PC\\a|100|1", L"event 3|xray_stop|PC\\b|100|1"},
         2},
        {"the shared entry keeps to one event a window as well",
         {{0, L"PC\\a"},
          {1, L"PC\\b"},
          {2, L"PC\\c"},
          {3, L"PC\\d"},
          {60000, L"PC\\a"},
          {60001, L"PC\\e"}},
         {L"event 3|xray_stop|PC\\a|100|1",
          L"event 3|xray_stop|(other accounts; the last: PC\\b)|100|1",
          L"event 3|xray_stop|PC\\a|100|1",
          L"event 3|xray_stop|(other accounts; the last: PC\\e)|100|3"},
         1},
        {"accounts whose window passed make room",
         {{0, L"PC\\a"}, {1, L"PC\\b"}, {60001, L"PC\\c"}, {60002, L"PC\\d"}},
         {L"event 3|xray_stop|PC\\a|100|1", L"event 3|xray_stop|PC\\b|100|1",
          L"event 3|xray_stop|PC\\c|100|1", L"event 3|xray_stop|PC\\d|100|1"},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Written(c.steps, c.maxAccounts), c.written);
    }
}

// A crowd of accounts, each refused once a second for ten minutes: the table
// never follows more than the bound and the shared entry, and the log gets
// at most that many events a window.
TEST(RefusalCoalescerTest, ACrowdOfAccountsStaysWithinTheBound) {
    constexpr std::size_t kMaxAccounts = 64;
    std::size_t written = 0;
    std::uint64_t nowMs = 0;
    RefusalCoalescer coalescer(
        [&written](ServiceEvent, const std::vector<std::wstring>&) { ++written; },
        [&nowMs] { return nowMs; }, kWindowMs, kMaxAccounts);
    std::size_t mostFollowed = 0;
    // Each second a hundred of the accounts, all of them every 50 seconds.
    for (std::uint64_t second = 0; second < 600; ++second) {
        for (std::uint64_t slot = 0; slot < 100; ++slot) {
            nowMs = second * 1000 + slot * 5;
            const std::uint64_t account = slot * 50 + second % 50;
            coalescer.Report(ServiceEvent::kRequestRefused,
                             {L"xray_stop", L"PC\\user" + std::to_wstring(account), L"7"});
            mostFollowed = std::max(mostFollowed, coalescer.Followed());
        }
    }
    EXPECT_LE(mostFollowed, kMaxAccounts + 1);
    // Ten windows and a partial one, each with at most the bound and the shared
    // entry written, plus the counts written as the windows pass.
    EXPECT_LE(written, 11 * 2 * (kMaxAccounts + 1));
    EXPECT_GT(written, 0u);
}

}  // namespace
}  // namespace velk
