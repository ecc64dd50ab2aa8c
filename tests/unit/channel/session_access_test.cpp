#include "service/channel/session_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/channel/command_dispatcher.h"
#include "tests/support/direct_caller.h"
#include "tests/support/recording_operations.h"

namespace velk {
namespace {

using test_support::DirectCaller;
using test_support::FakeResults;
using test_support::RecordingOperations;

const std::wstring kDenied = L"ok=false;exitCode=5;message=access denied";

CallerIdentity Caller(CallerRank rank, const wchar_t* sid) {
    return CallerIdentity{rank, sid, sid, 1234};
}

// Requests in order through the dispatcher, each from its own caller, with
// one set of sessions: what each is answered and what each makes happen.
struct Step {
    const char* name;
    CallerIdentity caller;
    std::wstring request;
    std::wstring response;
    std::vector<std::wstring> calls;
};

void RunSteps(const std::vector<Step>& steps, FakeResults results = {}) {
    RecordingOperations operations(results);
    std::vector<std::wstring> refusals;
    SessionAccess sessions([&refusals](ServiceEvent event, const std::vector<std::wstring>& in) {
        ASSERT_EQ(event, ServiceEvent::kRequestRefused);
        ASSERT_EQ(in.size(), 3u);
        refusals.push_back(in[0] + L"|" + in[1] + L"|" + in[2]);
    });
    std::size_t expectedRefusals = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        operations.calls.clear();
        DirectCaller caller(step.caller);
        EXPECT_EQ(HandleCommand(step.request, caller, sessions, operations, nullptr),
                  step.response);
        EXPECT_EQ(operations.calls, step.calls);
        if (step.response == kDenied) {
            ++expectedRefusals;
            ASSERT_EQ(refusals.size(), expectedRefusals);
            EXPECT_EQ(refusals.back().substr(refusals.back().find(L'|') + 1),
                      step.caller.account + L"|1234");
        }
    }
    EXPECT_EQ(refusals.size(), expectedRefusals);
}

const std::wstring kHelperStart =
    L"RunHelperProcess|D:\\svc\\netsteer.exe|start \"203.0.113.7\"|70000";
const std::wstring kHelperStop =
    L"RunHelperProcess|D:\\svc\\netsteer.exe|stop \"203.0.113.7\"|70000";
const std::wstring kTail = L"ReadCoreLogTail|runtime|8192";
const std::wstring kStarted = L"ok=true;exitCode=0;message=xray start finished";

// Two members of the trusted group and an administrator.
const CallerIdentity alice = Caller(CallerRank::kMember, L"S-1-5-21-alice");
const CallerIdentity bob = Caller(CallerRank::kMember, L"S-1-5-21-bob");
const CallerIdentity admin = Caller(CallerRank::kAdministrator, L"S-1-5-21-admin");

TEST(HandleCommandAccessTest, AStrangerIsAnsweredStatusOnly) {
    const CallerIdentity eve = Caller(CallerRank::kUntrusted, L"S-1-5-21-eve");
    RunSteps({
        {"status", eve, L"status", L"ok=true;exitCode=0;message=service running", {}},
        {"xray_status",
         eve,
         L"xray_status",
         L"ok=true;exitCode=259;running=true;message=xray status",
         {L"QueryXrayStatus"}},
        {"xray_start", eve, L"xray_start C:\\c.json", kDenied, {}},
        {"xray_stop", eve, L"xray_stop", kDenied, {}},
        {"xray_last_error", eve, L"xray_last_error", kDenied, {}},
        {"route_start", eve, L"route_start 203.0.113.7", kDenied, {}},
        {"stop", eve, L"stop 203.0.113.7", kDenied, {}},
        {"malformed keeps its answer",
         eve,
         L"route_stop",
         L"ok=false;exitCode=-3;message=missing serverHost",
         {}},
        {"unknown keeps its answer",
         eve,
         L"STATUS",
         L"ok=false;exitCode=-2;message=unknown action",
         {}},
    });
}

TEST(HandleCommandAccessTest, ASecondMemberCannotTakeOverTheFirstsSessions) {
    const std::wstring stopped = L"ok=true;exitCode=0;message=xray stopped";
    const std::wstring helped = L"ok=true;exitCode=0;message=helper finished";
    RunSteps({
        {"alice starts her core",
         alice,
         L"xray_start C:\\a.json",
         kStarted,
         {L"StartXray|C:\\a.json"}},
        {"alice routes",
         alice,
         L"route_start 203.0.113.7",
         helped,
         {L"GetModuleDirectory", kHelperStart}},
        {"bob cannot replace the core",
         bob,
         L"xray_start C:\\b.json",
         kDenied,
         {L"QueryXrayStatus"}},
        {"bob cannot stop it", bob, L"xray_stop", kDenied, {L"QueryXrayStatus"}},
        {"bob cannot read it", bob, L"xray_last_error", kDenied, {L"QueryXrayStatus"}},
        {"bob cannot reroute", bob, L"route_start 198.51.100.1", kDenied, {}},
        {"bob cannot restore", bob, L"route_stop 203.0.113.7", kDenied, {}},
        {"alice starts again: today's answer",
         alice,
         L"xray_start C:\\a.json",
         kStarted,
         {L"QueryXrayStatus", L"StartXray|C:\\a.json"}},
        {"alice reads",
         alice,
         L"xray_last_error",
         L"ok=true;exitCode=0;message=",
         {L"QueryXrayStatus", kTail, L"ReadCoreLogTail|error|8192"}},
        {"an administrator restores",
         admin,
         L"route_stop 203.0.113.7",
         helped,
         {L"GetModuleDirectory", kHelperStop}},
        {"then bob may route",
         bob,
         L"route_start 203.0.113.7",
         helped,
         {L"GetModuleDirectory", kHelperStart}},
        {"alice stops her core", alice, L"xray_stop", stopped, {L"QueryXrayStatus", L"StopXray"}},
        {"then bob may start one",
         bob,
         L"xray_start C:\\b.json",
         kStarted,
         {L"StartXray|C:\\b.json"}},
    });
}

// The core's logs are appended to by every core and never cut. What a start
// shows its caller is only what the core session's own core wrote: a start
// that was refused or failed before a core ran takes nobody's session, and a
// caller whose core ran reads from where its core began.
TEST(HandleCommandAccessTest, OnlyTheCoreSessionsOwnerReadsItsOutput) {
    const std::wstring read = L"ok=true;exitCode=0;message=";
    const std::wstring aliceTraffic = L"alice: accepted tcp:example.org:443\n";
    const std::wstring aliceAccess = L"alice: tcp:mail.example.org:993 [proxy]\n";
    const std::wstring bobReason = L"bob: failed to listen on 127.0.0.1:10808\n";

    FakeResults results;
    results.startsByPath[L"C:\\link\\b.json"] =
        CoreStartRefused(L"a link or junction on the way: C:\\link");
    results.startsByPath[L"C:\\absent.json"] = CoreStartFailed(Win32Error{L"CreateFileW", 2});
    results.startsByPath[L"C:\\port.json"] = CoreEndedAtOnce(23u);
    results.outputByPath[L"C:\\a.json"] = aliceTraffic;
    // Alice's configuration sends the core's access log to its error log.
    results.errorLogByPath[L"C:\\a.json"] = aliceAccess;
    results.outputByPath[L"C:\\port.json"] = bobReason;
    RecordingOperations operations(results);
    SessionAccess sessions;

    struct Case {
        const char* name;
        CallerIdentity caller;
        std::wstring request;
        bool coreRunning;  // what the core's status says meanwhile
        std::wstring response;
    };
    const Case cases[] = {
        {"alice starts her core", alice, L"xray_start C:\\a.json", false, kStarted},
        {"alice reads her core's output", alice, L"xray_last_error", true, read + aliceTraffic},
        {"bob may not read it", bob, L"xray_last_error", true, kDenied},
        // Alice's core has ended by itself: the core is free to start.
        {"bob's path is refused", bob, L"xray_start C:\\link\\b.json", false,
         L"ok=false;exitCode=87;message=xray start finished"},
        {"a refused start gives bob nothing of alice's", bob, L"xray_last_error", false, kDenied},
        {"bob's file is missing", bob, L"xray_start C:\\absent.json", false,
         L"ok=false;exitCode=2;message=xray start finished"},
        {"a failed start gives bob nothing of alice's", bob, L"xray_last_error", false, kDenied},
        {"alice still reads her ended core", alice, L"xray_last_error", false, read + aliceTraffic},
        {"bob's core runs and ends at once", bob, L"xray_start C:\\port.json", false,
         L"ok=false;exitCode=23;message=xray start finished"},
        {"bob reads his own core's reason only", bob, L"xray_last_error", false, read + bobReason},
        {"alice's session has passed to bob", alice, L"xray_last_error", false, kDenied},
        {"an administrator reads bob's session", admin, L"xray_last_error", false,
         read + bobReason},
        {"bob starts a quiet core", bob, L"xray_start C:\\quiet.json", false, kStarted},
        {"neither log shows alice's lines", bob, L"xray_last_error", true, read},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        operations.Results().status = c.coreRunning ? XrayStatus{true, 259} : XrayStatus{false, 0};
        DirectCaller caller(c.caller);
        EXPECT_EQ(HandleCommand(c.request, caller, sessions, operations, nullptr), c.response);
    }
}

}  // namespace
}  // namespace velk
