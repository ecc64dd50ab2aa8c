#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <functional>
#include <optional>
#include <vector>

#include "common/unique_handle.h"
#include "service/channel/pipe_server.h"
#include "tests/support/pipe_client.h"
#include "tests/support/pipe_impersonation_probe.h"
#include "tests/support/request_handler_from.h"
#include "tools/velkctl/velkctl_client.h"
#include "tools/velkctl/velkctl_options.h"

namespace velk::velkctl {
namespace {

struct InvocationCase {
    const char* name;
    std::vector<std::wstring> arguments;
    bool valid;
    std::wstring request;
    bool json;
    std::uint32_t waitMs;
};

TEST(VelkctlInvocationTest, BuildsTheExactRequest) {
    const std::wstring longHost(2040, L'a');
    const InvocationCase cases[] = {
        {"status", {L"status"}, true, L"status", false, kDefaultWaitMs},
        {"json and wait first",
         {L"--json", L"--wait", L"2500", L"xray_status"},
         true,
         L"xray_status",
         true,
         2500},
        {"config path with blanks is quoted",
         {L"xray_start", L"C:\\path with blanks\\config.json"},
         true,
         L"xray_start \"C:\\path with blanks\\config.json\"",
         false,
         kDefaultWaitMs},
        {"route_start host",
         {L"route_start", L"203.0.113.7"},
         true,
         L"route_start 203.0.113.7",
         false,
         kDefaultWaitMs},
        {"route_start host and the tunnel's DNS servers",
         {L"route_start", L"203.0.113.7", L"10.8.0.1,1.1.1.1"},
         true,
         L"route_start 203.0.113.7 10.8.0.1,1.1.1.1",
         false,
         kDefaultWaitMs},
        {"start host and DNS",
         {L"start", L"h", L"10.8.0.1"},
         true,
         L"start h 10.8.0.1",
         false,
         kDefaultWaitMs},
        {"route_stop host",
         {L"route_stop", L"vpn.example.com"},
         true,
         L"route_stop vpn.example.com",
         false,
         kDefaultWaitMs},
        {"raw text goes as it is",
         {L"--raw", L"  STATUS\r\nmore"},
         true,
         L"  STATUS\r\nmore",
         false,
         kDefaultWaitMs},
        {"raw empty request", {L"--raw", L""}, true, L"", false, kDefaultWaitMs},
        {"no action", {}, false, L"", false, kDefaultWaitMs},
        {"options only", {L"--json"}, false, L"", false, kDefaultWaitMs},
        {"unknown action", {L"Status"}, false, L"", false, kDefaultWaitMs},
        {"extra argument", {L"status", L"now"}, false, L"", false, kDefaultWaitMs},
        {"host missing", {L"route_start"}, false, L"", false, kDefaultWaitMs},
        {"host with a blank", {L"route_start", L"a b"}, false, L"", false, kDefaultWaitMs},
        {"three words",
         {L"route_start", L"h", L"10.8.0.1", L"x"},
         false,
         L"",
         false,
         kDefaultWaitMs},
        {"DNS with a blank",
         {L"start", L"h", L"10.8.0.1, 1.1.1.1"},
         false,
         L"",
         false,
         kDefaultWaitMs},
        {"stop takes no DNS",
         {L"route_stop", L"h", L"10.8.0.1"},
         false,
         L"",
         false,
         kDefaultWaitMs},
        {"config missing", {L"xray_start"}, false, L"", false, kDefaultWaitMs},
        {"config with a line break", {L"xray_start", L"a\nb"}, false, L"", false, kDefaultWaitMs},
        {"wait without number", {L"--wait", L"status"}, false, L"", false, kDefaultWaitMs},
        {"wait not a number", {L"--wait", L"-1", L"status"}, false, L"", false, kDefaultWaitMs},
        {"request too long for the service",
         {L"route_start", longHost},
         false,
         L"",
         false,
         kDefaultWaitMs},
        {"raw needs one text", {L"--raw"}, false, L"", false, kDefaultWaitMs},
    };
    for (const InvocationCase& c : cases) {
        const Invocation invocation = ParseInvocation(c.arguments);
        EXPECT_EQ(invocation.valid, c.valid) << c.name;
        if (c.valid) {
            EXPECT_EQ(invocation.request, c.request) << c.name;
            EXPECT_EQ(invocation.json, c.json) << c.name;
            EXPECT_EQ(invocation.waitMs, c.waitMs) << c.name;
        } else {
            EXPECT_FALSE(invocation.error.empty()) << c.name;
        }
    }
}

struct ResponseCase {
    const char* name;
    std::wstring line;
    std::wstring json;  // empty: not a response line
    int exitCode;
};

TEST(VelkctlResponseTest, ParsesFieldsIntoEscapedJson) {
    const ResponseCase cases[] = {
        {"status", L"ok=true;exitCode=0;message=service running",
         L"{\"ok\":true,\"exitCode\":0,\"message\":\"service running\"}", kExitOk},
        {"xray_status", L"ok=true;exitCode=259;running=true;message=xray status",
         L"{\"ok\":true,\"exitCode\":259,\"running\":true,\"message\":\"xray status\"}", kExitOk},
        {"helper failed", L"ok=false;exitCode=4;message=helper finished",
         L"{\"ok\":false,\"exitCode\":4,\"message\":\"helper finished\"}", kExitNotOk},
        {"dispatcher code", L"ok=false;exitCode=-3;message=missing serverHost",
         L"{\"ok\":false,\"exitCode\":-3,\"message\":\"missing serverHost\"}", kExitNotOk},
        {"large code", L"ok=false;exitCode=3221225477;message=xray start finished",
         L"{\"ok\":false,\"exitCode\":3221225477,\"message\":\"xray start finished\"}", kExitNotOk},
        {"message with separators, quotes and control characters",
         L"ok=true;exitCode=0;message=a;exitCode=1;\"q\"\\\r\n\t\x01 \x7f",
         L"{\"ok\":true,\"exitCode\":0,\"message\":\"a;exitCode=1;\\\"q\\\"\\\\\\r\\n\\t\\u0001 "
         L"\\u007f\"}",
         kExitOk},
        {"non-ASCII and a lone surrogate",
         std::wstring(L"ok=true;exitCode=0;message=") + wchar_t(0x00e9) + wchar_t(0xd83d),
         L"{\"ok\":true,\"exitCode\":0,\"message\":\"\\u00e9\\ud83d\"}", kExitOk},
        {"empty message", L"ok=true;exitCode=0;message=",
         L"{\"ok\":true,\"exitCode\":0,\"message\":\"\"}", kExitOk},
        {"not a response", L"hello", L"", kExitNoAnswer},
        {"ok not a boolean", L"ok=yes;exitCode=0;message=x", L"", kExitNoAnswer},
        {"code not a number", L"ok=true;exitCode=x1;message=x", L"", kExitNoAnswer},
        {"message missing", L"ok=true;exitCode=0", L"", kExitNoAnswer},
        {"running not a boolean", L"ok=true;exitCode=0;running=1;message=x", L"", kExitNoAnswer},
    };
    for (const ResponseCase& c : cases) {
        const ResponseFields fields = ParseResponseLine(c.line);
        EXPECT_EQ(fields.valid, !c.json.empty()) << c.name;
        if (fields.valid) {
            EXPECT_EQ(ResponseJson(fields), c.json) << c.name;
        }
        EXPECT_EQ(ExitCodeFor(fields), c.exitCode) << c.name;
    }
}

// A pipe server of this very process, standing in for something that is not
// the service.
class ForeignServer {
  public:
    explicit ForeignServer(test_support::RequestHandlerFrom::Function handler) {
        name_ = L"\\\\.\\pipe\\velkctl_test_" + std::to_wstring(GetCurrentProcessId());
        stop_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        PipeServerOptions options;
        options.pipeName = name_;
        done_ = std::async(std::launch::async, [this, handler, options] {
            test_support::RequestHandlerFrom handlerOfThisServer(handler);
            RunPipeServer(
                stop_.Get(), handlerOfThisServer, [](const std::wstring&) {}, options);
        });
    }
    ~ForeignServer() {
        SetEvent(stop_.Get());
        done_.wait();
    }
    const std::wstring& Name() const { return name_; }

  private:
    std::wstring name_;
    UniqueHandle stop_;
    std::future<void> done_;
};

TEST(VelkctlClientTest, TalksOnlyToTheExpectedServer) {
    std::atomic<int> served{0};
    ForeignServer server([&](const std::wstring& request, HANDLE) {
        ++served;
        return L"ok=true;exitCode=0;message=" + request;
    });
    struct Case {
        const char* name;
        std::function<std::optional<DWORD>()> expected;
        bool answered;
    };
    const Case cases[] = {
        {"service not running", [] { return std::optional<DWORD>(); }, false},
        {"another process is the service", [] { return std::optional<DWORD>(4); }, false},
        {"served by the service", [] { return std::optional<DWORD>(GetCurrentProcessId()); }, true},
    };
    for (const Case& c : cases) {
        const int before = served;
        ClientSettings settings{server.Name(), 10000, c.expected};
        const ClientResult result = SendRequest(settings, L"status");
        EXPECT_EQ(result.answered, c.answered) << c.name;
        EXPECT_EQ(served - before, c.answered ? 1 : 0) << c.name << ": nothing sent when refused";
        if (c.answered) {
            EXPECT_EQ(result.line, L"ok=true;exitCode=0;message=status") << c.name;
        } else {
            EXPECT_NE(result.error.find(L"refused"), std::wstring::npos) << c.name;
        }
    }
}

TEST(VelkctlClientTest, WaitsWhileBusyUpToItsLimit) {
    UniqueHandle entered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ForeignServer server([&](const std::wstring& request, HANDLE) {
        if (request == L"hold") {
            SetEvent(entered.Get());
            WaitForSingleObject(release.Get(), 30000);
        }
        return std::wstring(L"ok=true;exitCode=0;message=done");
    });
    const auto self = [] { return std::optional<DWORD>(GetCurrentProcessId()); };
    auto holder = std::async(std::launch::async, [&] {
        return SendRequest(ClientSettings{server.Name(), 10000, self}, L"hold");
    });
    ASSERT_EQ(WaitForSingleObject(entered.Get(), 30000), WAIT_OBJECT_0);
    // Every other instance taken by a client that says nothing (for up to the
    // server's stall bound): the pipe is busy.
    std::vector<UniqueHandle> silent;
    for (DWORD i = 1; i < kPipeMaxInstances; ++i) {
        silent.emplace_back(test_support::OpenedClient(server.Name()));
        ASSERT_TRUE(silent.back()) << i;
    }
    const ClientResult impatient = SendRequest(ClientSettings{server.Name(), 200, self}, L"status");
    EXPECT_FALSE(impatient.answered);
    EXPECT_NE(impatient.error.find(L"busy"), std::wstring::npos);
    auto patient = std::async(std::launch::async, [&] {
        return SendRequest(ClientSettings{server.Name(), 30000, self}, L"status");
    });
    SetEvent(release.Get());
    EXPECT_TRUE(holder.get().answered);
    EXPECT_TRUE(patient.get().answered);
}

TEST(VelkctlClientTest, OpensThePipeAtIdentificationLevel) {
    // Whoever serves the pipe may learn who velkctl's user is, not act as
    // them, whatever the request: xray_start too.
    for (const wchar_t* request : {L"status", L"xray_start \"C:\\configs\\c.json\""}) {
        test_support::ImpersonationProbe probe(
            L"\\\\.\\pipe\\velkctl_test_level_" + std::to_wstring(GetCurrentProcessId()),
            L"ok=true;exitCode=0;message=probed");
        ASSERT_TRUE(probe.Ready());
        const ClientResult result =
            SendRequest(ClientSettings{probe.Name(), 10000,
                                       [] { return std::optional<DWORD>(GetCurrentProcessId()); }},
                        request);
        EXPECT_TRUE(result.answered) << std::string(result.error.begin(), result.error.end());
        const test_support::ImpersonationSeen seen = probe.Seen();
        ASSERT_TRUE(seen.known);
        if (test_support::RunningUnderWine() && seen.level != SecurityIdentification) {
            GTEST_SKIP() << "this Wine ignores the client's quality of service (level "
                         << seen.level << ")";
        }
        EXPECT_EQ(seen.level, SecurityIdentification);
    }
}

TEST(VelkctlClientTest, NoPipeIsNoAnswer) {
    const ClientResult result = SendRequest(ClientSettings{L"\\\\.\\pipe\\velkctl_test_nobody", 100,
                                                           [] { return std::optional<DWORD>(1); }},
                                            L"status");
    EXPECT_FALSE(result.answered);
    EXPECT_NE(result.error.find(L"does not exist"), std::wstring::npos);
}

}  // namespace
}  // namespace velk::velkctl
