#include "service/channel/command_dispatcher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/wide_text.h"
#include "tests/support/recording_operations.h"
#include "tests/support/dispatch_as_system.h"

namespace velk {
namespace {

using test_support::FakeResults;
using test_support::RecordingOperations;

const std::wstring kRuntimeTail = L"ReadCoreLogTail|runtime|8192";
const std::wstring kErrorTail = L"ReadCoreLogTail|error|8192";
constexpr CoreLog kRuntimeLog = CoreLog::kRuntime;
constexpr CoreLog kErrorLog = CoreLog::kError;

const std::wstring kMissingAction = L"ok=false;exitCode=-1;message=missing action";
const std::wstring kUnknownAction = L"ok=false;exitCode=-2;message=unknown action";
const std::wstring kMissingPath = L"ok=false;exitCode=-3;message=missing config path";
const std::wstring kMissingHost = L"ok=false;exitCode=-3;message=missing serverHost";
const std::wstring kRunning = L"ok=true;exitCode=0;message=service running";

std::wstring Helper(const std::wstring& arguments,
                    const std::wstring& program = L"D:\\svc\\netsteer.exe") {
    return L"RunHelperProcess|" + program + L"|" + arguments + L"|70000";
}

struct DispatchCase {
    const char* name;
    std::wstring request;
    std::wstring response;
    std::vector<std::wstring> calls;
    bool responseLogged;
    FakeResults results = {};
};

FakeResults With(void (*change)(FakeResults&)) {
    FakeResults results;
    change(results);
    return results;
}

const std::vector<DispatchCase>& Cases() {
    static const std::vector<DispatchCase> cases = {
        // Empty and unknown requests.
        {"empty request", L"", kMissingAction, {}, false},
        {"blanks and tabs", L"  \t \t  ", kMissingAction, {}, false},
        {"only line breaks", L"\r\n\v\f", kMissingAction, {}, false},
        {"upper-case action", L"STATUS", kUnknownAction, {}, false},
        {"capitalised action", L"Status", kUnknownAction, {}, false},
        {"action with a suffix", L"statusx", kUnknownAction, {}, false},
        {"unknown action before a path", L"xray_begin C:\\a.json", kUnknownAction, {}, false},
        {"unknown action without its host", L"route", kUnknownAction, {}, false},
        // status answers alone.
        {"status", L"status", kRunning, {}, false},
        {"status with CR LF", L"status\r\n", kRunning, {}, false},
        {"status with further words", L"status now please", kRunning, {}, false},
        {"ideographic space before status", L"\u3000status", kRunning, {}, false},
        {"no-break space ends the action", L"status\u00A0x", kRunning, {}, false},
        {"next-line control is part of the word",
         std::wstring(L"status") + wchar_t(0x85),
         kUnknownAction,
         {},
         false},
        // xray_status and xray_stop.
        {"xray_status running",
         L"xray_status",
         L"ok=true;exitCode=259;running=true;message=xray status",
         {L"QueryXrayStatus"},
         true},
        {"xray_status ended",
         L"xray_status extra",
         L"ok=true;exitCode=1;running=false;message=xray status",
         {L"QueryXrayStatus"},
         true,
         With([](FakeResults& r) {
             r.status = {false, 1};
         })},
        {"xray_status with a large code",
         L"xray_status",
         L"ok=true;exitCode=4294967295;running=false;message=xray status",
         {L"QueryXrayStatus"},
         true,
         With([](FakeResults& r) {
             r.status = {false, 4294967295u};
         })},
        {"tab before xray_stop",
         L"\txray_stop",
         L"ok=true;exitCode=0;message=xray stopped",
         {L"StopXray"},
         true},
        {"xray_stop passes its result through",
         L"xray_stop",
         L"ok=false;exitCode=4294967295;message=xray stopped",
         {L"StopXray"},
         true,
         With([](FakeResults& r) {
             r.stop = {false, 4294967295u};
         })},
        // xray_start and its path.
        {"xray_start alone", L"xray_start", kMissingPath, {}, false},
        {"xray_start with blanks only", L"xray_start     ", kMissingPath, {}, false},
        {"xray_start with empty quotes", L"xray_start \"\"", kMissingPath, {}, false},
        {"xray_start with LF before the path", L"xray_start\nC:\\a.json", kMissingPath, {}, false},
        {"xray_start with blanks then LF", L"xray_start   \n C:\\a.json", kMissingPath, {}, false},
        {"quoted path with blanks",
         L"xray_start \"C:\\My Configs\\a b.json\"",
         L"ok=true;exitCode=0;message=xray start finished",
         {L"StartXray|C:\\My Configs\\a b.json"},
         true},
        {"unquoted path with blanks",
         L"xray_start C:\\My Configs\\a b.json",
         L"ok=true;exitCode=0;message=xray start finished",
         {L"StartXray|C:\\My Configs\\a b.json"},
         true},
        {"quoted path with a trailing blank keeps its quotes",
         L"xray_start \"C:\\a.json\" ",
         L"ok=true;exitCode=0;message=xray start finished",
         {L"StartXray|\"C:\\a.json\" "},
         true},
        {"tab before the path stays",
         L"xray_start\tC:\\a.json",
         L"ok=true;exitCode=0;message=xray start finished",
         {L"StartXray|\tC:\\a.json"},
         true},
        {"blank then tab before a quoted path",
         L"xray_start \t\"C:\\a.json\"",
         L"ok=true;exitCode=0;message=xray start finished",
         {L"StartXray|\t\"C:\\a.json\""},
         true},
        {"CR stays and the next line is dropped",
         L"xray_start C:\\a.json\r\nxray_stop",
         L"ok=true;exitCode=0;message=xray start finished",
         {L"StartXray|C:\\a.json\r"},
         true},
        {"many blanks before the path",
         L"xray_start      C:\\a.json  ",
         L"ok=true;exitCode=0;message=xray start finished",
         {L"StartXray|C:\\a.json  "},
         true},
        {"quotes removed once, inner quotes stay",
         L"xray_start \"\"C:\\a\"b.json\"\"",
         L"ok=true;exitCode=0;message=xray start finished",
         {L"StartXray|\"C:\\a\"b.json\""},
         true},
        {"a single quote is a path",
         L"xray_start \"",
         L"ok=true;exitCode=0;message=xray start finished",
         {L"StartXray|\""},
         true},
        {"xray_start failure code written unsigned",
         L"xray_start C:\\a.json",
         L"ok=false;exitCode=3221225477;message=xray start finished",
         {L"StartXray|C:\\a.json"},
         true,
         With([](FakeResults& r) { r.start = CoreEndedAtOnce(3221225477u); })},
        // xray_last_error.
        {"runtime log has text",
         L"xray_last_error",
         L"ok=true;exitCode=0;message=failed to start",
         {kRuntimeTail},
         false,
         With([](FakeResults& r) {
             r.tails[kRuntimeLog] = L"failed to start";
             r.tails[kErrorLog] = L"older";
         })},
        {"falls back to the error log",
         L"xray_last_error",
         L"ok=true;exitCode=0;message=older error",
         {kRuntimeTail, kErrorTail},
         false,
         With([](FakeResults& r) { r.tails[kErrorLog] = L"older error"; })},
        {"both logs missing",
         L"xray_last_error now",
         L"ok=true;exitCode=0;message=",
         {kRuntimeTail, kErrorTail},
         false},
        {"log text is not escaped",
         L"xray_last_error",
         L"ok=true;exitCode=0;message=a;exitCode=5\r\nok=false\nend;",
         {kRuntimeTail},
         false,
         With([](FakeResults& r) { r.tails[kRuntimeLog] = L"a;exitCode=5\r\nok=false\nend;"; })},
        // Route actions.
        {"start without host", L"start", kMissingHost, {}, false},
        {"route_stop without host", L"route_stop", kMissingHost, {}, false},
        {"route_start with blanks only", L"route_start \t \r\n", kMissingHost, {}, false},
        {"stop without host", L"stop  ", kMissingHost, {}, false},
        {"route_start with extra words",
         L"route_start 203.0.113.7 and more",
         L"ok=true;exitCode=0;message=helper finished",
         {L"GetModuleDirectory", Helper(L"start \"203.0.113.7\"")},
         true},
        {"route_start with DNS servers passes them on",
         L"route_start 203.0.113.7 10.8.0.1,1.1.1.1 more",
         L"ok=true;exitCode=0;message=helper finished",
         {L"GetModuleDirectory", Helper(L"start \"203.0.113.7\" 10.8.0.1,1.1.1.1")},
         true},
        {"route_start with a word that is no DNS list ignores it",
         L"route_start 203.0.113.7 10.8.0.1&calc",
         L"ok=true;exitCode=0;message=helper finished",
         {L"GetModuleDirectory", Helper(L"start \"203.0.113.7\"")},
         true},
        {"route_stop passes no DNS servers",
         L"route_stop 203.0.113.7 10.8.0.1",
         L"ok=true;exitCode=0;message=helper finished",
         {L"GetModuleDirectory", Helper(L"stop \"203.0.113.7\"")},
         true},
        {"start",
         L"start vpn.example.com",
         L"ok=true;exitCode=0;message=helper finished",
         {L"GetModuleDirectory", Helper(L"start \"vpn.example.com\"")},
         true},
        {"stop with exit code 7",
         L"stop vpn.example.com\r\n",
         L"ok=false;exitCode=7;message=helper finished",
         {L"GetModuleDirectory", Helper(L"stop \"vpn.example.com\"")},
         true,
         With([](FakeResults& r) {
             r.helper = {false, 7};
         })},
        {"route_stop with a wide space before the host",
         L"route_stop\u2003host",
         L"ok=true;exitCode=0;message=helper finished",
         {L"GetModuleDirectory", Helper(L"stop \"host\"")},
         true},
        {"host passed on exactly",
         L"route_start \"a&b\"",
         L"ok=false;exitCode=4294967295;message=helper finished",
         {L"GetModuleDirectory", Helper(L"start \"\"a&b\"\"")},
         true,
         With([](FakeResults& r) {
             r.helper = {false, 4294967295u};
         })},
        {"empty module directory gives the bare name",
         L"route_start 10.0.0.1",
         L"ok=false;exitCode=1460;message=helper finished",
         {L"GetModuleDirectory", Helper(L"start \"10.0.0.1\"", L"netsteer.exe")},
         true,
         With([](FakeResults& r) {
             r.moduleDirectory.clear();
             r.helper = {false, 1460};
         })},
    };
    return cases;
}

TEST(HandleCommandTest, AnswersEveryCaseOfTheTable) {
    for (const DispatchCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        RecordingOperations operations(c.results);
        std::vector<std::wstring> logged;
        const std::wstring response = velk::test_support::HandleAsSystem(
            c.request, operations, [&logged](const std::wstring& line) { logged.push_back(line); });

        EXPECT_EQ(response, c.response);
        EXPECT_EQ(operations.calls, c.calls);
        std::vector<std::wstring> expectedLog{L"Received command: " + c.request};
        if (c.responseLogged) {
            expectedLog.push_back(L"Response: " + c.response);
        }
        EXPECT_EQ(logged, expectedLog);
    }
}

TEST(HandleCommandTest, FailingLogDoesNotCostTheResponse) {
    RecordingOperations operations{FakeResults{}};
    const LogSink throwingLog = [](const std::wstring&) { throw std::runtime_error("disk gone"); };
    EXPECT_EQ(velk::test_support::HandleAsSystem(L"xray_stop", operations, throwingLog),
              L"ok=true;exitCode=0;message=xray stopped");
    EXPECT_EQ(velk::test_support::HandleAsSystem(L"status", operations, LogSink()), kRunning);
}

// Every line the fake's fixed results can give.
std::set<std::wstring> AllowedLines() {
    return {kMissingAction,
            kUnknownAction,
            kMissingPath,
            kMissingHost,
            kRunning,
            L"ok=true;exitCode=259;running=true;message=xray status",
            L"ok=true;exitCode=0;message=xray stopped",
            L"ok=true;exitCode=0;message=xray start finished",
            L"ok=true;exitCode=0;message=tail",
            L"ok=true;exitCode=0;message=helper finished"};
}

const std::vector<std::wstring> kActions = {L"status",     L"xray_status",     L"xray_stop",
                                            L"xray_start", L"xray_last_error", L"start",
                                            L"stop",       L"route_start",     L"route_stop"};

wchar_t RandomUnit(std::mt19937& random) {
    switch (random() % 4) {
        case 0:  // control characters and white space
            return static_cast<wchar_t>(1 + random() % 0x20);
        case 1:  // printable ASCII, quotes included
            return static_cast<wchar_t>(0x20 + random() % 0x5F);
        case 2:  // surrogates, alone or in pairs
            return static_cast<wchar_t>(0xD800 + random() % 0x800);
        default:  // any other code unit but NUL
            return static_cast<wchar_t>(1 + random() % 0xFFFF);
    }
}

void ExpectAllowedAnswer(const std::wstring& request) {
    FakeResults results;
    results.tails[kRuntimeLog] = L"tail";
    RecordingOperations operations(results);
    std::vector<std::wstring> logged;
    std::wstring response;
    EXPECT_NO_THROW(
        response = velk::test_support::HandleAsSystem(
            request, operations, [&logged](const std::wstring& l) { logged.push_back(l); }));
    EXPECT_EQ(AllowedLines().count(response), 1u) << WideToUtf8(response);
    ASSERT_FALSE(logged.empty());
    EXPECT_EQ(logged.front(), L"Received command: " + request);
    for (const std::wstring& call : operations.calls) {
        // The arguments the dispatcher builds never hold a line feed.
        EXPECT_EQ(call.find(L'\n'), std::wstring::npos);
        EXPECT_NE(call, L"StartXray|");
    }
}

TEST(HandleCommandTest, RandomRequestsGetAnAllowedLine) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 3000; ++round) {
        std::wstring request;
        if (random() % 2 == 0) {
            request = kActions[random() % kActions.size()];
        }
        const std::size_t length = random() % 4 == 0 ? random() % 2047 : random() % 24;
        while (request.size() < length) {
            request += RandomUnit(random);
        }
        request.resize(std::min<std::size_t>(request.size(), 2047));
        SCOPED_TRACE(round);
        ExpectAllowedAnswer(request);
    }
}

TEST(HandleCommandTest, LongestRequestsOfBlanks) {
    RecordingOperations operations{FakeResults{}};
    const LogSink noLog = [](const std::wstring&) {};
    EXPECT_EQ(velk::test_support::HandleAsSystem(std::wstring(2047, L' '), operations, noLog),
              kMissingAction);
    EXPECT_EQ(velk::test_support::HandleAsSystem(L"xray_start" + std::wstring(2037, L' '),
                                                 operations, noLog),
              kMissingPath);
    EXPECT_EQ(velk::test_support::HandleAsSystem(L"route_start" + std::wstring(2036, L'\t'),
                                                 operations, noLog),
              kMissingHost);
    EXPECT_TRUE(operations.calls.empty());
}

}  // namespace
}  // namespace velk
