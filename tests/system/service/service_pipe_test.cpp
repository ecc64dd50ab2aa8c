// The service's pipe as a client sees it: framing, stalled clients and the
// security of the live instances.
#include <aclapi.h>

#include <atomic>
#include <future>
#include <memory>
#include <vector>

#include "service/channel/pipe_security.h"
#include "tests/support/pipe_dacl_check.h"
#include "tests/support/hostile_crowd.h"
#include "tests/system/service/service_scenario.h"
#include "tests/system/service/velkctl_run.h"

namespace velk::scenario {
namespace {

constexpr wchar_t kStatusLine[] = L"ok=true;exitCode=0;message=service running";

class ServicePipe : public ServiceScenario {
  protected:
    void SetUp() override {
        ServiceScenario::SetUp();
        if (!HasFatalFailure()) {
            StartAndWait();
        }
    }
};

std::string StatusPaddedTo(std::size_t bytes) {
    std::wstring request = L"status";
    request.resize(bytes / 2, L' ');
    return EncodeRequest(request);
}

TEST_F(ServicePipe, FramesRequestsAndResponses) {
    struct Case {
        const char* name;
        std::string request;
        bool answered;
    };
    const Case cases[] = {
        {"status", EncodeRequest(L"status"), true},
        {"trailing NUL", EncodeRequest(std::wstring(L"status") + L'\0'), true},
        {"inner NUL hides the rest", EncodeRequest(std::wstring(L"status") + L'\0' + L"STATUS"),
         true},
        {"odd byte count", EncodeRequest(L"status") + "x", true},
        {"exactly 4094 bytes", StatusPaddedTo(4094), true},
        {"4095 bytes", StatusPaddedTo(4094) + " ", false},
        {"4096 bytes", StatusPaddedTo(4096), false},
    };
    for (const Case& c : cases) {
        const Answer answer = SendBytes(c.request);
        EXPECT_EQ(answer.complete, c.answered) << c.name;
        if (c.answered) {
            ASSERT_EQ(answer.messages.size(), 1u) << c.name;
            EXPECT_EQ(answer.messages[0].size(), 86u) << c.name;
            EXPECT_EQ(answer.Line(), kStatusLine) << c.name;
        } else {
            EXPECT_TRUE(answer.bytes.empty()) << c.name;
        }
    }
}

TEST_F(ServicePipe, ClientThatLeavesIsFollowedByAServedClient) {
    ConnectToService().Reset();
    EXPECT_EQ(Send(L"status"), kStatusLine);
}

TEST_F(ServicePipe, SplitRequestIsAnsweredForItsFirstWriteOnly) {
    UniqueHandle pipe = ConnectToService();
    ASSERT_TRUE(pipe);
    ASSERT_TRUE(WriteMessage(pipe.Get(), EncodeRequest(L"sta")));
    ASSERT_TRUE(WriteMessage(pipe.Get(), EncodeRequest(L"tus")));
    EXPECT_EQ(ReadAnswer(pipe.Get()).Line(), L"ok=false;exitCode=-2;message=unknown action");
    pipe.Reset();
    EXPECT_EQ(Send(L"status"), kStatusLine);
}

TEST_F(ServicePipe, ResponseLongerThanThePipeBuffer) {
    CreateDirectoryW(kDataDirectory, nullptr);
    std::string log(9000, 'x');
    for (std::size_t i = 0; i < log.size(); i += 100) {
        log[i] = '\n';
    }
    ASSERT_TRUE(WriteFileBytes(kCoreRuntimeLogPath, log));
    const Answer answer = SendBytes(EncodeRequest(L"xray_last_error"));
    ASSERT_TRUE(answer.complete);
    const std::wstring tail(log.end() - 8192, log.end());
    EXPECT_EQ(answer.Line(), L"ok=true;exitCode=0;message=" + tail);
    EXPECT_GT(answer.bytes.size(), static_cast<std::size_t>(kPipeBufferBytes));
    EXPECT_EQ(answer.bytes.size(), (27 + 8192) * 2 + 2u);
}

TEST_F(ServicePipe, SilentClientDoesNotHoldTheNextBeyondItsBound) {
    UniqueHandle silent = ConnectToService();
    ASSERT_TRUE(silent);
    const ULONGLONG before = GetTickCount64();
    auto next = std::async(std::launch::async, [] { return Send(L"status"); });
    ASSERT_EQ(next.wait_for(std::chrono::milliseconds(kHangGuardMs)), std::future_status::ready);
    EXPECT_EQ(next.get(), kStatusLine);
    // Printed, not judged: the wait is the silent client's bound of
    // kClientStallTimeoutMs plus the time to serve.
    std::printf("next client served after %llu ms (bound %u ms)\n",
                static_cast<unsigned long long>(GetTickCount64() - before),
                static_cast<unsigned>(kClientStallTimeoutMs));
    char byte = 0;
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(silent.Get(), &byte, 1, &got, nullptr)) << "the silent one was let go";
}

TEST_F(ServicePipe, ClientThatDoesNotReadItsAnswerIsLetGo) {
    CreateDirectoryW(kDataDirectory, nullptr);
    ASSERT_TRUE(WriteFileBytes(kCoreRuntimeLogPath, std::string(8192, 'e')));
    UniqueHandle greedy = ConnectToService();
    ASSERT_TRUE(greedy);
    // Asks for an answer larger than the pipe's buffer and never reads it.
    ASSERT_TRUE(WriteMessage(greedy.Get(), EncodeRequest(L"xray_last_error")));
    auto next = std::async(std::launch::async, [] { return Send(L"status"); });
    ASSERT_EQ(next.wait_for(std::chrono::milliseconds(kHangGuardMs)), std::future_status::ready);
    EXPECT_EQ(next.get(), kStatusLine);
}

TEST_F(ServicePipe, LiveInstanceCarriesTheRestrictiveDacl) {
    UniqueHandle client = ConnectToService();
    ASSERT_TRUE(client);
    ULONG serverPid = 0;
    ASSERT_TRUE(GetNamedPipeServerProcessId(client.Get(), &serverPid));
    EXPECT_EQ(serverPid, Query().dwProcessId) << "the pipe is served by the service process";

    const test_support::PipeSecurity security = test_support::ReadPipeSecurity(client.Get());
    ASSERT_EQ(security.error, static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(security.dacl, nullptr) << "never a NULL DACL";
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(security.descriptor.Get(), &control, &revision));
    EXPECT_NE(control & SE_DACL_PROTECTED, 0) << "nothing inherited into the DACL";

    ASSERT_NO_FATAL_FAILURE(test_support::ExpectServicePipeDacl(security.dacl));
}

TEST_F(ServicePipe, NoOtherProcessCreatesAnInstanceWhileTheServiceRuns) {
    // The service holds every instance the name allows, both while they wait
    // for clients and while one is connected.
    for (const bool clientConnected : {false, true}) {
        UniqueHandle client;
        if (clientConnected) {
            client = ConnectToService();
            ASSERT_TRUE(client);
        }
        for (const DWORD maxInstances : {DWORD{1}, DWORD{PIPE_UNLIMITED_INSTANCES}}) {
            for (const DWORD first : {DWORD{0}, DWORD{FILE_FLAG_FIRST_PIPE_INSTANCE}}) {
                UniqueHandle extra(CreateNamedPipeW(kPipeName, PIPE_ACCESS_DUPLEX | first,
                                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                                                    maxInstances, 4096, 4096, 0, nullptr));
                EXPECT_FALSE(extra) << "max " << maxInstances << (first != 0 ? ", first" : "")
                                    << (clientConnected ? ", client connected" : "");
            }
        }
    }
    EXPECT_EQ(Send(L"status"), kStatusLine);
}

TEST_F(ServicePipe, PlainReadWriteClientIsServed) {
    // The user interface opens for GENERIC_READ | GENERIC_WRITE with no
    // further flags; the pipe's DACL must let exactly that in.
    UniqueHandle pipe;
    ASSERT_TRUE(Eventually([&] {
        pipe.Reset(CreateFileW(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               0, nullptr));
        return static_cast<bool>(pipe);
    }));
    DWORD mode = PIPE_READMODE_MESSAGE;
    ASSERT_TRUE(SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr));
    ASSERT_TRUE(WriteMessage(pipe.Get(), EncodeRequest(L"status")));
    EXPECT_EQ(ReadAnswer(pipe.Get()).Line(), kStatusLine);
}

TEST_F(ServicePipe, RemotePathIsNotServed) {
    // Through the network redirector a client counts as remote, and the
    // instance rejects remote clients (kPipeInstanceMode, checked where the
    // pipe server is tested). This only proves something on real Windows:
    // Wine has no redirector for pipes, so there the open fails whatever the
    // mode flags are.
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(computer, &size));
    for (const std::wstring& host : {std::wstring(L"localhost"), std::wstring(computer)}) {
        const std::wstring remote = L"\\\\" + host + L"\\pipe\\velk_vpn_service_pipe";
        UniqueHandle pipe(test_support::OpenedClient(remote));
        const DWORD error = GetLastError();
        EXPECT_FALSE(pipe) << "opened through " << std::string(host.begin(), host.end());
        std::printf("open through \\\\%ls: error %lu\n", host.c_str(),
                    static_cast<unsigned long>(error));
    }
    EXPECT_EQ(Send(L"status"), kStatusLine);
}

// The scenario build: its log counts the requests, and no stall bound ends a
// wait on a client, so only the server's own handling can let one go.
class ServicePipeUnbounded : public ServicePipe {
  protected:
    std::wstring ServiceProgram() const override { return ScenarioServiceExe(); }
};

TEST_F(ServicePipeUnbounded, ClientThatTookItsWholeAnswerIsLetGoAtOnce) {
    CreateDirectoryW(kDataDirectory, nullptr);
    ASSERT_TRUE(WriteFileBytes(kCoreRuntimeLogPath, std::string(8192, 'e')));
    // A short answer and one longer than the pipe's buffer, read in pieces.
    for (const wchar_t* request : {L"status", L"xray_last_error"}) {
        UniqueHandle pipe = ConnectToService();
        ASSERT_TRUE(pipe);
        ASSERT_TRUE(WriteMessage(pipe.Get(), EncodeRequest(request)));
        ASSERT_TRUE(ReadAnswer(pipe.Get(), 512).complete) << request;
        // The client keeps its end open; the server ends the connection.
        EXPECT_TRUE(Eventually([&] { return !test_support::StillConnected(pipe.Get()); }))
            << request;
    }
    EXPECT_EQ(Send(L"status"), kStatusLine);
}

TEST_F(ServicePipeUnbounded, CrowdThatNeverReadsItsAnswersDoesNotKeepStatusWaiting) {
    // Sixteen clients of this process write "status" and never read the
    // answer, again and again; velkctl, another process, must still be
    // answered within its default wait each time.
    test_support::TalkativeCrowd crowd(kPipeName, 2 * kPipeMaxInstances);
    ASSERT_TRUE(Eventually([&] { return crowd.Requests() >= int{kPipeMaxInstances}; }));
    for (int run = 0; run < 5; ++run) {
        const ProgramRun velkctl = RunVelkctl(L"status");
        EXPECT_EQ(velkctl.exitCode, 0u) << "run " << run << ": " << velkctl.err;
        EXPECT_EQ(velkctl.out, "ok=true;exitCode=0;message=service running\r\n") << "run " << run;
    }
    crowd.Disperse();
    EXPECT_GT(crowd.LetGo(), 0);
}

TEST_F(ServicePipeUnbounded, CrowdOfSilentClientsDoesNotKeepOthersWaiting) {
    // Sixteen clients that connect, say nothing, and come back as soon as
    // they are let go, again and again: twice as many as there are
    // instances, and no stall bound to end their wait.
    test_support::SilentCrowd crowd(kPipeName, 2 * kPipeMaxInstances);
    ASSERT_TRUE(Eventually([&] { return crowd.Connections() >= int{kPipeMaxInstances}; }));

    // Eight ordinary clients, 500 requests each, every one named.
    constexpr int kClients = 8;
    constexpr int kRequests = 500;
    std::vector<std::future<int>> ordinary;
    for (int client = 0; client < kClients; ++client) {
        ordinary.push_back(std::async(std::launch::async, [client] {
            int answered = 0;
            for (int i = 0; i < kRequests; ++i) {
                const std::wstring request =
                    L"status c" + std::to_wstring(client) + L"r" + std::to_wstring(i);
                answered += Send(request) == kStatusLine ? 1 : 0;
            }
            return answered;
        }));
    }
    // velkctl with its default wait, meanwhile.
    for (int run = 0; run < 5; ++run) {
        const ProgramRun velkctl = RunVelkctl(L"status");
        EXPECT_EQ(velkctl.exitCode, 0u) << "run " << run << ": " << velkctl.err;
        EXPECT_EQ(velkctl.out, "ok=true;exitCode=0;message=service running\r\n") << "run " << run;
    }
    for (auto& answered : ordinary) {
        EXPECT_EQ(answered.get(), kRequests);
    }
    crowd.Disperse();
    std::printf("silent connections: %d, let go by the service: %d\n", crowd.Connections(),
                crowd.LetGo());

    // Each request was carried out exactly once.
    const std::wstring log = ServiceLogText();
    for (int client = 0; client < kClients; ++client) {
        for (int i = 0; i < kRequests; i += 97) {
            const std::wstring line = L"] Received command: status c" + std::to_wstring(client) +
                                      L"r" + std::to_wstring(i) + L"\r\n";
            const auto first = log.find(line);
            ASSERT_NE(first, std::wstring::npos) << client << "/" << i;
            EXPECT_EQ(log.find(line, first + 1), std::wstring::npos) << client << "/" << i;
        }
    }
    std::size_t received = 0;
    for (auto at = log.find(L"] Received command: status c"); at != std::wstring::npos;
         at = log.find(L"] Received command: status c", at + 1)) {
        ++received;
    }
    EXPECT_EQ(received, static_cast<std::size_t>(kClients * kRequests));
}

}  // namespace
}  // namespace velk::scenario
