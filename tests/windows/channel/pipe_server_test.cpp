// The pipe server run in this process on a private pipe name, with a
// recording request handler and a short stall bound.
#include "service/channel/pipe_server.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/unique_handle.h"
#include "service/channel/client/pipe_framing.h"
#include "service/channel/pipe_security.h"
#include "tests/support/pipe_client.h"
#include "tests/support/pipe_dacl_check.h"
#include "tests/support/pipe_impersonation_probe.h"
#include "tests/support/running_under_wine.h"
#include "tests/support/hostile_crowd.h"
#include "tests/support/request_handler_from.h"
#include "tests/support/win_files.h"

namespace velk {
namespace {

constexpr DWORD kTestStallMs = 300;
// How long a client waits for a free instance, as velkctl does by default.
constexpr auto kClientWait = std::chrono::seconds(10);
// Only guards against a hang; no test measures time.
constexpr auto kHangGuard = std::chrono::seconds(30);

std::wstring UniquePipeName() {
    static std::atomic<int> counter{0};
    return L"\\\\.\\pipe\\velk_pipe_server_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
           std::to_wstring(++counter);
}

// What a test's handler sees: the request text only.
using TextHandler = std::function<std::wstring(const std::wstring&)>;

// An answer longer than the pipe's buffer, which a client takes in parts.
std::wstring LongAnswer() {
    return std::wstring(20000, L'x');
}

// Answers "long" with LongAnswer() and echoes anything else.
std::wstring EchoOrLongAnswer(const std::wstring& request) {
    return request == L"long" ? LongAnswer() : L"echo=" + request;
}

// RunPipeServer on its own thread for the life of the object.
class ServerRun {
  public:
    explicit ServerRun(TextHandler handler = nullptr) : name_(UniquePipeName()) {
        stop_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        handler_ = handler ? std::move(handler)
                           : [](const std::wstring& request) { return L"echo=" + request; };
        options_.pipeName = name_;
        options_.clientStallTimeoutMs = kTestStallMs;
        options_.createRetryMs = 50;
    }
    ~ServerRun() { Stop(); }

    void Start() {
        done_ = std::async(std::launch::async, [this] {
            test_support::RequestHandlerFrom recording(
                [this](const std::wstring& request, HANDLE client) {
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        requests_.push_back(request);
                        clientPids_.push_back(ClientProcessId(client));
                    }
                    return handler_(request);
                });
            RunPipeServer(
                stop_.Get(), recording,
                [this](const std::wstring& line) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    log_.push_back(line);
                },
                options_);
        });
    }

    // True when the loop ended within the hang guard.
    bool Stop() {
        SetEvent(stop_.Get());
        if (!done_.valid()) {
            return true;
        }
        const bool ended = done_.wait_for(kHangGuard) == std::future_status::ready;
        if (ended) {
            done_.get();
        }
        return ended;
    }

    HANDLE StopEvent() const { return stop_.Get(); }
    const std::wstring& Name() const { return name_; }
    PipeServerOptions& Options() { return options_; }
    std::vector<std::wstring> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }
    // For each request, the process id the handler's connection reports as
    // its client (0 when the handle tells none).
    std::vector<ULONG> ClientPids() {
        std::lock_guard<std::mutex> lock(mutex_);
        return clientPids_;
    }
    std::vector<std::wstring> Log() {
        std::lock_guard<std::mutex> lock(mutex_);
        return log_;
    }

  private:
    std::wstring name_;
    UniqueHandle stop_;
    static ULONG ClientProcessId(HANDLE client) {
        ULONG pid = 0;
        return GetNamedPipeClientProcessId(client, &pid) ? pid : 0;
    }

    TextHandler handler_;
    PipeServerOptions options_;
    std::mutex mutex_;
    std::vector<std::wstring> requests_;
    std::vector<ULONG> clientPids_;
    std::vector<std::wstring> log_;
    std::future<void> done_;
};

template <typename Condition>
bool Eventually(Condition condition) {
    return test_support::Eventually(condition, kHangGuard, 5);
}

using test_support::OpenedClient;
using test_support::ReadAnswer;
using test_support::WriteMessage;
using Answer = test_support::PipeAnswer;

UniqueHandle Connect(const std::wstring& name) {
    return test_support::ConnectPipe(name, kHangGuard);
}

Answer Exchange(const std::wstring& name, const std::string& request) {
    return test_support::Exchange(name, request, kHangGuard);
}

struct FramingCase {
    const char* name;
    std::string request;
    bool answered;
    std::wstring handed;  // what the handler receives
};

std::string Units(std::size_t count, char fill = 'a') {
    return EncodeRequest(std::wstring(count, static_cast<wchar_t>(fill)));
}

TEST(PipeServerTest, FramesRequestsAndResponses) {
    const FramingCase cases[] = {
        {"plain", EncodeRequest(L"status"), true, L"status"},
        {"trailing NUL", EncodeRequest(std::wstring(L"status") + L'\0'), true, L"status"},
        {"inner NUL", EncodeRequest(std::wstring(L"status") + L'\0' + L"xray_stop"), true,
         L"status"},
        {"odd byte count", EncodeRequest(L"status") + "x", true, L"status"},
        {"exactly 4094 bytes", Units(2047), true, std::wstring(2047, L'a')},
        {"4095 bytes", Units(2047) + "a", false, L""},
        {"8000 bytes", Units(4000), false, L""},
        {"NUL first", EncodeRequest(std::wstring(1, L'\0') + L"status"), true, L""},
    };
    ServerRun server;
    server.Start();
    for (const FramingCase& c : cases) {
        const std::size_t before = server.Requests().size();
        const Answer answer = Exchange(server.Name(), c.request);
        EXPECT_EQ(answer.complete, c.answered) << c.name;
        const auto requests = server.Requests();
        if (c.answered) {
            ASSERT_EQ(requests.size(), before + 1) << c.name;
            EXPECT_EQ(requests.back(), c.handed) << c.name;
            EXPECT_EQ(answer.bytes, EncodeResponse(L"echo=" + c.handed)) << c.name;
            EXPECT_EQ(answer.messages.size(), 1u) << c.name;
            // The handler was given the caller's own connection.
            EXPECT_EQ(server.ClientPids().back(), GetCurrentProcessId()) << c.name;
        } else {
            EXPECT_EQ(requests.size(), before) << c.name << ": handler must not run";
            EXPECT_TRUE(answer.bytes.empty()) << c.name;
        }
    }
}

TEST(PipeServerTest, StatusAnswerIsOneMessageOf86Bytes) {
    ServerRun server([](const std::wstring&) {
        return std::wstring(L"ok=true;exitCode=0;message=service running");
    });
    server.Start();
    const Answer answer = Exchange(server.Name(), EncodeRequest(L"status"));
    ASSERT_EQ(answer.messages.size(), 1u);
    EXPECT_EQ(answer.messages[0].size(), 86u);
}

TEST(PipeServerTest, ResponseLongerThanThePipeBufferArrivesWhole) {
    const std::wstring longLine = L"ok=true;exitCode=0;message=" + std::wstring(8192, L'\u00e9');
    ServerRun server([&](const std::wstring&) { return longLine; });
    server.Start();
    UniqueHandle pipe = Connect(server.Name());
    ASSERT_TRUE(pipe);
    ASSERT_TRUE(WriteMessage(pipe.Get(), EncodeRequest(L"xray_last_error")));
    // A reader with a small buffer, as the protocol allows.
    const Answer answer = ReadAnswer(pipe.Get(), 1000);
    ASSERT_TRUE(answer.complete);
    EXPECT_EQ(answer.bytes.size(), longLine.size() * 2 + 2);
    EXPECT_EQ(DecodeResponse(answer.bytes).line, longLine);
}

TEST(PipeServerTest, SplitRequestAnswersOnlyTheFirstWrite) {
    ServerRun server;
    server.Start();
    UniqueHandle pipe = Connect(server.Name());
    ASSERT_TRUE(pipe);
    ASSERT_TRUE(WriteMessage(pipe.Get(), EncodeRequest(L"sta")));
    ASSERT_TRUE(WriteMessage(pipe.Get(), EncodeRequest(L"tus")));
    const Answer answer = ReadAnswer(pipe.Get());
    EXPECT_EQ(DecodeResponse(answer.bytes).line, L"echo=sta");
    pipe.Reset();
    // The second write was not taken as a request of its own.
    EXPECT_EQ(Exchange(server.Name(), EncodeRequest(L"next")).complete, true);
    EXPECT_EQ(server.Requests(), (std::vector<std::wstring>{L"sta", L"next"}));
}

TEST(PipeServerTest, ClientThatLeavesWithoutWritingIsForgotten) {
    ServerRun server;
    server.Start();
    Connect(server.Name()).Reset();
    const Answer answer = Exchange(server.Name(), EncodeRequest(L"status"));
    EXPECT_TRUE(answer.complete);
    EXPECT_EQ(server.Requests(), std::vector<std::wstring>{L"status"});
}

TEST(PipeServerTest, SilentClientDoesNotBlockTheNext) {
    ServerRun server;
    server.Start();
    UniqueHandle silent = Connect(server.Name());
    ASSERT_TRUE(silent);
    // The silent client still holds its end and one instance; the next is
    // served on another, and the silent one is let go after its stall bound.
    auto next = std::async(std::launch::async,
                           [&] { return Exchange(server.Name(), EncodeRequest(L"status")); });
    ASSERT_EQ(next.wait_for(kHangGuard), std::future_status::ready);
    EXPECT_TRUE(next.get().complete);
    // The silent one was disconnected: its read fails instead of waiting.
    char byte = 0;
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(silent.Get(), &byte, 1, &got, nullptr));
}

TEST(PipeServerTest, RequestsAreCarriedOutOneAtATimeInTheOrderTheyArrived) {
    UniqueHandle entered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<int> running{0};
    std::atomic<int> overlapped{0};
    ServerRun server([&](const std::wstring& request) {
        overlapped += ++running > 1 ? 1 : 0;
        if (request == L"hold") {
            SetEvent(entered.Get());
            WaitForSingleObject(release.Get(), 30000);
        }
        --running;
        return L"echo=" + request;
    });
    server.Start();
    ASSERT_TRUE(test_support::AllInstancesUp(server.Name(), kPipeMaxInstances, kHangGuard));
    UniqueHandle holder = Connect(server.Name());
    ASSERT_TRUE(holder);
    ASSERT_TRUE(WriteMessage(holder.Get(), EncodeRequest(L"hold")));
    ASSERT_EQ(WaitForSingleObject(entered.Get(), 30000), WAIT_OBJECT_0);

    // While the first request is carried out, clients connect in one order
    // and write in the reverse one: they are served as they came, first
    // connected first, and a late writer cannot push in front of them.
    constexpr int kWaiting = 5;
    std::vector<UniqueHandle> clients;
    for (int i = 0; i < kWaiting; ++i) {
        clients.push_back(Connect(server.Name()));
        ASSERT_TRUE(clients.back()) << i;
    }
    std::vector<std::wstring> expected{L"hold"};
    for (int i = 0; i < kWaiting; ++i) {
        expected.push_back(L"client " + std::to_wstring(i));
    }
    for (int i = kWaiting - 1; i >= 0; --i) {
        const auto at = static_cast<std::size_t>(i);
        ASSERT_TRUE(WriteMessage(clients[at].Get(), EncodeRequest(expected[at + 1])));
    }
    SetEvent(release.Get());
    EXPECT_EQ(DecodeResponse(ReadAnswer(holder.Get()).bytes).line, L"echo=hold");
    for (int i = 0; i < kWaiting; ++i) {
        EXPECT_EQ(DecodeResponse(ReadAnswer(clients[static_cast<std::size_t>(i)].Get()).bytes).line,
                  L"echo=client " + std::to_wstring(i));
    }
    EXPECT_EQ(server.Requests(), expected);
    EXPECT_EQ(overlapped.load(), 0) << "never two requests at once";
}

TEST(PipeServerTest, ClientThatNeverReadsItsLongAnswerIsDropped) {
    const std::wstring longLine(20000, L'x');
    ServerRun server([&](const std::wstring& request) {
        return request == L"long" ? longLine : std::wstring(L"short");
    });
    server.Start();
    UniqueHandle greedy = Connect(server.Name());
    ASSERT_TRUE(greedy);
    ASSERT_TRUE(WriteMessage(greedy.Get(), EncodeRequest(L"long")));
    auto next = std::async(std::launch::async,
                           [&] { return Exchange(server.Name(), EncodeRequest(L"status")); });
    ASSERT_EQ(next.wait_for(kHangGuard), std::future_status::ready);
    EXPECT_EQ(DecodeResponse(next.get().bytes).line, L"short");
}

TEST(PipeServerTest, StopSetBeforeTheCallCreatesNoInstance) {
    ServerRun server;
    SetEvent(server.StopEvent());
    server.Start();
    ASSERT_TRUE(server.Stop());
    EXPECT_EQ(server.Log(), (std::vector<std::wstring>{L"Pipe server loop started.",
                                                       L"Pipe server loop stopped."}));
    UniqueHandle pipe(OpenedClient(server.Name()));
    EXPECT_FALSE(pipe);
}

TEST(PipeServerTest, StopEndsTheLoopWhateverTheClientDoes) {
    enum class Client { None, Silent, AnsweredButStays, NeverReadsLongAnswer };
    struct Case {
        const char* name;
        Client client;
    };
    const Case cases[] = {
        {"idle", Client::None},
        {"client connected and silent", Client::Silent},
        {"client took its answer and keeps the connection", Client::AnsweredButStays},
        {"client never reads its long answer", Client::NeverReadsLongAnswer},
    };
    const std::wstring longLine = LongAnswer();
    for (const Case& c : cases) {
        ServerRun server(EchoOrLongAnswer);
        // No stall bound: only the stop can end a wait on these clients.
        server.Options().clientStallTimeoutMs = INFINITE;
        server.Start();
        EXPECT_TRUE(Exchange(server.Name(), EncodeRequest(L"status")).complete) << c.name;
        UniqueHandle client;
        if (c.client != Client::None) {
            client = Connect(server.Name());
            ASSERT_TRUE(client) << c.name;
        }
        if (c.client == Client::AnsweredButStays) {
            ASSERT_TRUE(WriteMessage(client.Get(), EncodeRequest(L"status"))) << c.name;
            EXPECT_TRUE(ReadAnswer(client.Get()).complete) << c.name;
        }
        if (c.client == Client::NeverReadsLongAnswer) {
            ASSERT_TRUE(WriteMessage(client.Get(), EncodeRequest(L"long"))) << c.name;
            ASSERT_TRUE(Eventually([&] { return server.Requests().size() == 2; })) << c.name;
        }
        const bool stopped = server.Stop();
        // Let go of the client only now, so that it cannot be what ended the
        // loop; then a loop that ignores the stop ends too and the next case
        // can run.
        const bool droppedByServer = !client || !test_support::StillConnected(client.Get());
        client.Reset();
        EXPECT_TRUE(stopped) << c.name;
        EXPECT_TRUE(droppedByServer) << c.name << ": the server let go of the client";
        if (!stopped) {
            server.Stop();
            continue;
        }
        EXPECT_EQ(server.Log().back(), L"Pipe server loop stopped.") << c.name;
        // Nothing of the pipe is left behind.
        EXPECT_FALSE(OpenedClient(server.Name())) << c.name;
    }
}

TEST(PipeServerTest, StopEndsTheLoopWhileClientsHammerThePipe) {
    ServerRun server;
    server.Start();
    std::atomic<bool> done{false};
    auto hammer = std::async(std::launch::async, [&] {
        int answered = 0;
        while (!done) {
            UniqueHandle pipe(OpenedClient(server.Name()));
            if (pipe && WriteMessage(pipe.Get(), EncodeRequest(L"status"))) {
                answered += ReadAnswer(pipe.Get()).complete ? 1 : 0;
            }
        }
        return answered;
    });
    ASSERT_TRUE(Eventually([&] { return server.Requests().size() >= 20; }));
    EXPECT_TRUE(server.Stop());
    done = true;
    EXPECT_GE(hammer.get(), 20);
}

TEST(PipeServerTest, StopDuringARequestAnswersItFirst) {
    UniqueHandle entered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ServerRun server([&](const std::wstring&) {
        SetEvent(entered.Get());
        WaitForSingleObject(release.Get(), 30000);
        return std::wstring(L"finished");
    });
    server.Start();
    UniqueHandle pipe = Connect(server.Name());
    ASSERT_TRUE(pipe);
    ASSERT_TRUE(WriteMessage(pipe.Get(), EncodeRequest(L"route_start 203.0.113.7")));
    ASSERT_EQ(WaitForSingleObject(entered.Get(), 30000), WAIT_OBJECT_0);
    SetEvent(server.StopEvent());
    SetEvent(release.Get());
    EXPECT_EQ(DecodeResponse(ReadAnswer(pipe.Get()).bytes).line, L"finished");
    pipe.Reset();
    EXPECT_TRUE(server.Stop());
}

TEST(PipeServerTest, StopDuringARequestAllowsOnlyAShortGraceToTakeTheAnswer) {
    // A client that is slow to take a long answer after a stop was asked for
    // gets the grace, not its stall bound.
    UniqueHandle entered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const std::wstring longLine(20000, L'x');
    ServerRun server([&](const std::wstring&) {
        SetEvent(entered.Get());
        WaitForSingleObject(release.Get(), 30000);
        return longLine;
    });
    server.Options().clientStallTimeoutMs = INFINITE;
    server.Start();
    UniqueHandle pipe = Connect(server.Name());
    ASSERT_TRUE(pipe);
    ASSERT_TRUE(WriteMessage(pipe.Get(), EncodeRequest(L"xray_last_error")));
    ASSERT_EQ(WaitForSingleObject(entered.Get(), 30000), WAIT_OBJECT_0);
    SetEvent(server.StopEvent());
    SetEvent(release.Get());
    const bool stopped = server.Stop();
    pipe.Reset();
    EXPECT_TRUE(stopped);
}

// The ways another process could take the name: with or without the
// first-instance flag, as many instances as ours or more.
struct SquatAttempt {
    const char* name;
    DWORD openMode;
    DWORD maxInstances;
};
constexpr SquatAttempt kSquatAttempts[] = {
    {"first instance, one allowed", PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE, 1},
    {"further instance, one allowed", PIPE_ACCESS_DUPLEX, 1},
    {"first instance, unlimited", PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
     PIPE_UNLIMITED_INSTANCES},
    {"further instance, unlimited", PIPE_ACCESS_DUPLEX, PIPE_UNLIMITED_INSTANCES},
};

UniqueHandle TrySquat(const std::wstring& name, const SquatAttempt& attempt) {
    return UniqueHandle(CreateNamedPipeW(name.c_str(), attempt.openMode,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                                         attempt.maxInstances, 4096, 4096, 0, nullptr));
}

TEST(PipeServerTest, NameIsNeverFreeBetweenClients) {
    ServerRun server;
    server.Start();
    ASSERT_TRUE(test_support::AllInstancesUp(server.Name(), kPipeMaxInstances, kHangGuard));
    int taken = 0;
    for (int i = 0; i < 100; ++i) {
        // Every third client sends a request too long to read, which must not
        // cost the server the instance it came on either.
        const bool tooLong = i % 3 == 2;
        UniqueHandle pipe = Connect(server.Name());
        ASSERT_TRUE(pipe);
        ASSERT_TRUE(WriteMessage(pipe.Get(), tooLong ? Units(2048) : EncodeRequest(L"status")));
        ASSERT_EQ(ReadAnswer(pipe.Get()).complete, !tooLong) << i;
        pipe.Reset();
        // A squatter trying again and again as the connection ends never gets
        // an instance of the name: the server's instances are never closed
        // between clients, and they are all the name allows.
        for (int attempt = 0; attempt < 20; ++attempt) {
            const SquatAttempt& how = kSquatAttempts[attempt % std::size(kSquatAttempts)];
            taken += TrySquat(server.Name(), how) ? 1 : 0;
        }
    }
    EXPECT_EQ(taken, 0);
}

TEST(PipeServerTest, SquattedNameIsNotJoinedAndIsTakenOnceFree) {
    const std::wstring name = UniquePipeName();
    UniqueHandle squatter(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                           PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE,
                                           PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr));
    ASSERT_TRUE(squatter);
    ServerRun server;
    server.Options().pipeName = name;
    server.Start();
    // The server keeps retrying and has not added an instance of its own.
    // Windows refuses the first instance (ERROR_ACCESS_DENIED); Wine makes it,
    // and the count of the name's instances gives it away.
    const std::vector<std::wstring> expected =
        test_support::RunningUnderWine()
            ? std::vector<std::wstring>{L"Pipe instance given up: the name has 2 instances, of "
                                        L"which this server made 1.",
                                        L"Pipe name already held by another process."}
            : std::vector<std::wstring>{L"CreateNamedPipeW failed.",
                                        L"CreateNamedPipeW failed. Error=5",
                                        L"Pipe name already held by another process."};
    std::vector<std::wstring> log;
    for (int i = 0; i < 3000; ++i) {
        log = server.Log();
        if (log.size() > expected.size()) {
            break;
        }
        Sleep(5);
    }
    ASSERT_GT(log.size(), expected.size());
    EXPECT_EQ(std::vector<std::wstring>(log.begin() + 1, log.begin() + 1 + expected.size()),
              expected);
    UniqueHandle client(OpenedClient(name, 0));
    ASSERT_TRUE(client) << "the squatter's instance is the only one";
    UniqueHandle second(OpenedClient(name, 0));
    EXPECT_FALSE(second) << "the server must not have joined the squatter's pipe";
    client.Reset();
    squatter.Reset();
    const Answer answer = Exchange(name, EncodeRequest(L"status"));
    EXPECT_TRUE(answer.complete);
}

// Each holder takes one instance, in this order, and keeps it: a silent one
// never writes; a sender asks for a long answer and never reads it.
enum class Holder { kSilent, kSender };

TEST(PipeServerTest, WhenEveryInstanceIsTakenTheOldestIdleClientMakesRoom) {
    using H = Holder;
    struct Case {
        const char* name;
        std::vector<Holder> holders;
        DWORD graceMs;
        bool newcomerServed;
        // The holders let go: for the room the newcomer takes, and for the
        // room made again as soon as the newcomer has taken the last free
        // instance.
        std::vector<std::size_t> letGo;
    };
    // Longer than the whole case: nobody passes it.
    constexpr DWORD kLongGraceMs = 60000;
    const std::vector<Holder> sevenSilent(kPipeMaxInstances - 1, H::kSilent);
    const std::vector<Holder> sevenSenders(kPipeMaxInstances - 1, H::kSender);
    auto with = [](std::vector<Holder> holders, Holder last) {
        holders.push_back(last);
        return holders;
    };
    auto after = [](Holder first, std::vector<Holder> holders) {
        holders.insert(holders.begin(), first);
        return holders;
    };
    const Case cases[] = {
        {"one instance still free", sevenSilent, kPipeRoomGraceMs, true, {0}},
        {"eight silent", with(sevenSilent, H::kSilent), kPipeRoomGraceMs, true, {0, 1}},
        {"the oldest left its answer untaken",
         after(H::kSender, sevenSilent),
         kPipeRoomGraceMs,
         true,
         {0, 1}},
        {"senders first, the newest silent",
         with(sevenSenders, H::kSilent),
         kPipeRoomGraceMs,
         true,
         {0, 1}},
        {"every holder left its answer untaken",
         with(sevenSenders, H::kSender),
         kPipeRoomGraceMs,
         true,
         {0, 1}},
        {"eight silent, inside the grace", with(sevenSilent, H::kSilent), kLongGraceMs, false, {}},
        {"eight senders, inside the grace",
         with(sevenSenders, H::kSender),
         kLongGraceMs,
         false,
         {}},
    };
    const std::wstring longLine = LongAnswer();
    for (const Case& c : cases) {
        ServerRun server(EchoOrLongAnswer);
        // No stall bound: only the server's making room can end a holder.
        server.Options().clientStallTimeoutMs = INFINITE;
        server.Options().roomGraceMs = c.graceMs;
        // Every holder is a client of this process: the grace alone decides.
        server.Options().instancesPerProcess = kPipeMaxInstances;
        server.Start();
        ASSERT_TRUE(test_support::AllInstancesUp(server.Name(), kPipeMaxInstances, kHangGuard));
        std::vector<UniqueHandle> holders;
        std::size_t senders = 0;
        for (const Holder holder : c.holders) {
            holders.push_back(Connect(server.Name()));
            ASSERT_TRUE(holders.back()) << c.name;
            if (holder == H::kSender) {
                ASSERT_TRUE(WriteMessage(holders.back().Get(), EncodeRequest(L"long"))) << c.name;
                ++senders;
                ASSERT_TRUE(Eventually([&] { return server.Requests().size() == senders; }))
                    << c.name;
            }
        }
        // Every holder is now past the short grace.
        Sleep(2 * kPipeRoomGraceMs);
        const Answer newcomer = test_support::Exchange(
            server.Name(), EncodeRequest(L"newcomer"),
            c.newcomerServed ? kClientWait : std::chrono::milliseconds(1500));
        EXPECT_EQ(newcomer.complete, c.newcomerServed) << c.name;
        for (std::size_t i = 0; i < holders.size(); ++i) {
            const bool letGo = std::find(c.letGo.begin(), c.letGo.end(), i) != c.letGo.end();
            EXPECT_EQ(test_support::StillConnected(holders[i].Get()), !letGo)
                << c.name << ", holder " << i;
            if (c.holders[i] == H::kSender && !letGo) {
                // Not cut off: the whole answer is still there to take.
                EXPECT_EQ(DecodeResponse(ReadAnswer(holders[i].Get()).bytes).line, longLine)
                    << c.name << ", holder " << i;
            }
        }
        holders.clear();
        EXPECT_TRUE(server.Stop()) << c.name;
    }
}

// pipe_holder.exe holding `connections` silent connections of `pipe` in a
// process of its own, ended with the object.
class HolderProcess {
  public:
    HolderProcess(const std::wstring& pipe, int connections) {
        static std::atomic<int> counter{0};
        const std::wstring eventName = L"velk_pipe_holder_" +
                                       std::to_wstring(GetCurrentProcessId()) + L"_" +
                                       std::to_wstring(++counter);
        const UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
        std::wstring commandLine = L"\"" + test_support::WindowsPath(VELK_PIPE_HOLDER_EXE) +
                                   L"\" " + pipe + L" " + std::to_wstring(connections) + L" " +
                                   eventName;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!ready || !CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                      nullptr, nullptr, &startup, &info)) {
            return;
        }
        process_.Reset(info.hProcess);
        const UniqueHandle thread(info.hThread);
        const HANDLE either[] = {ready.Get(), process_.Get()};
        ready_ = WaitForMultipleObjects(2, either, FALSE, 30000) == WAIT_OBJECT_0;
    }
    ~HolderProcess() {
        if (process_) {
            TerminateProcess(process_.Get(), 0);
            WaitForSingleObject(process_.Get(), 30000);
        }
    }
    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;

    // Every connection is open and held.
    bool Ready() const { return ready_; }

  private:
    UniqueHandle process_;
    bool ready_ = false;
};

TEST(PipeServerTest, AProcessOverItsShareMakesRoomBeforeOthers) {
    // A silent client of this process connects first, then another process
    // holds the other seven instances, silent too; all pass the grace. A
    // newcomer of this process takes the room made, and the room is made
    // again at once, since it took the last instance.
    struct Case {
        const char* name;
        std::size_t instancesPerProcess;
        bool oursLetGo;
    };
    const Case cases[] = {
        {"the cap as built: the other process pays for both", kPipeInstancesPerProcess, false},
        {"no cap: ours, the oldest, goes first", kPipeMaxInstances, true},
    };
    for (const Case& c : cases) {
        ServerRun server;
        // No stall bound: only the server's making room can end a holder.
        server.Options().clientStallTimeoutMs = INFINITE;
        server.Options().instancesPerProcess = c.instancesPerProcess;
        server.Start();
        ASSERT_TRUE(test_support::AllInstancesUp(server.Name(), kPipeMaxInstances, kHangGuard));
        UniqueHandle ours = Connect(server.Name());
        ASSERT_TRUE(ours) << c.name;
        HolderProcess other(server.Name(), kPipeMaxInstances - 1);
        ASSERT_TRUE(other.Ready()) << c.name;
        Sleep(2 * kPipeRoomGraceMs);
        const Answer newcomer =
            test_support::Exchange(server.Name(), EncodeRequest(L"newcomer"), kClientWait);
        EXPECT_TRUE(newcomer.complete) << c.name;
        EXPECT_EQ(test_support::StillConnected(ours.Get()), !c.oursLetGo) << c.name;
        ours.Reset();
        EXPECT_TRUE(server.Stop()) << c.name;
    }
}

TEST(PipeServerTest, TalkativeCrowdKeepsNoOneOut) {
    // Sixteen clients write "status" and never read the answer, again and
    // again, from this process, as does the client that must be answered.
    struct Case {
        const char* name;
        std::size_t instancesPerProcess;
    };
    const Case cases[] = {
        {"the crowd's process over the cap", kPipeInstancesPerProcess},
        {"no cap: the grace on untaken answers alone", kPipeMaxInstances},
    };
    for (const Case& c : cases) {
        ServerRun server;
        // No stall bound: only the server's making room lets anyone else in.
        server.Options().clientStallTimeoutMs = INFINITE;
        server.Options().instancesPerProcess = c.instancesPerProcess;
        server.Start();
        ASSERT_TRUE(test_support::AllInstancesUp(server.Name(), kPipeMaxInstances, kHangGuard));
        test_support::TalkativeCrowd crowd(server.Name(), 2 * kPipeMaxInstances);
        ASSERT_TRUE(Eventually([&] { return crowd.Requests() >= int{kPipeMaxInstances}; }))
            << c.name;
        constexpr int kRequests = 5;
        for (int i = 0; i < kRequests; ++i) {
            const std::wstring request = L"status " + std::to_wstring(i);
            const Answer answer =
                test_support::Exchange(server.Name(), EncodeRequest(request), kClientWait);
            EXPECT_EQ(DecodeResponse(answer.bytes).line, L"echo=" + request) << c.name;
        }
        crowd.Disperse();
        EXPECT_GT(crowd.LetGo(), 0) << c.name;
        EXPECT_TRUE(server.Stop()) << c.name;
    }
}

TEST(PipeServerTest, SilentCrowdKeepsNoOneOutAndNoOneAddsAnInstance) {
    ServerRun server;
    // No stall bound: only the server's making room lets anyone else in.
    server.Options().clientStallTimeoutMs = INFINITE;
    server.Start();
    ASSERT_TRUE(test_support::AllInstancesUp(server.Name(), kPipeMaxInstances, kHangGuard));
    test_support::SilentCrowd crowd(server.Name(), 2 * kPipeMaxInstances);
    ASSERT_TRUE(Eventually([&] { return crowd.Connections() >= int{kPipeMaxInstances}; }));

    // Meanwhile a squatter keeps trying to add an instance of the name, as
    // silent clients are let go and their instances offered again.
    std::atomic<bool> done{false};
    auto squatter = std::async(std::launch::async, [&] {
        int taken = 0;
        for (std::size_t attempt = 0; !done; ++attempt) {
            taken += TrySquat(server.Name(), kSquatAttempts[attempt % std::size(kSquatAttempts)])
                         ? 1
                         : 0;
            Sleep(1);
        }
        return taken;
    });
    constexpr int kRequests = 5;
    for (int i = 0; i < kRequests; ++i) {
        const std::wstring request = L"status " + std::to_wstring(i);
        const Answer answer =
            test_support::Exchange(server.Name(), EncodeRequest(request), kClientWait);
        EXPECT_EQ(DecodeResponse(answer.bytes).line, L"echo=" + request);
    }
    done = true;
    EXPECT_EQ(squatter.get(), 0);
    crowd.Disperse();
    EXPECT_GT(crowd.LetGo(), 0);
    EXPECT_EQ(server.Requests().size(), static_cast<std::size_t>(kRequests))
        << "a silent client is never handed on as a request";
}

TEST(PipeServerTest, DescriptorRestrictsEveryInstance) {
    ServerRun server;
    server.Start();
    // Each client is held, so that the next one reaches another instance.
    std::vector<UniqueHandle> clients;
    for (DWORD i = 0; i < kPipeMaxInstances; ++i) {
        clients.push_back(Connect(server.Name()));
        ASSERT_TRUE(clients.back()) << "client " << i;
        const test_support::PipeSecurity security =
            test_support::ReadPipeSecurity(clients.back().Get());
        ASSERT_EQ(security.error, static_cast<DWORD>(ERROR_SUCCESS)) << "client " << i;
        ASSERT_NE(security.dacl, nullptr) << "never a NULL DACL; client " << i;
        ASSERT_NO_FATAL_FAILURE(test_support::ExpectServicePipeDacl(security.dacl))
            << "client " << i;
    }
}

TEST(PipeServerTest, NoOneElseCreatesAnInstanceWhileTheServerRuns) {
    ServerRun server;
    server.Start();
    // Both while every instance waits for a client and while one is
    // connected: the server's eight are all the name allows.
    ASSERT_TRUE(test_support::AllInstancesUp(server.Name(), kPipeMaxInstances, kHangGuard));
    for (const bool clientConnected : {false, true}) {
        UniqueHandle client;
        if (clientConnected) {
            client = Connect(server.Name());
            ASSERT_TRUE(client);
        }
        for (const SquatAttempt& attempt : kSquatAttempts) {
            const UniqueHandle extra = TrySquat(server.Name(), attempt);
            EXPECT_FALSE(extra) << attempt.name << (clientConnected ? ", client connected" : "");
        }
    }
}

TEST(PipeServerTest, InstancesAreLocalMessageModeAndEightAtMost) {
    EXPECT_EQ(kPipeInstanceMode & PIPE_REJECT_REMOTE_CLIENTS,
              static_cast<DWORD>(PIPE_REJECT_REMOTE_CLIENTS));
    EXPECT_EQ(kPipeInstanceMode & PIPE_TYPE_MESSAGE, static_cast<DWORD>(PIPE_TYPE_MESSAGE));
    EXPECT_EQ(kPipeInstanceMode & PIPE_READMODE_MESSAGE, static_cast<DWORD>(PIPE_READMODE_MESSAGE));
    EXPECT_EQ(kPipeInstanceMode & PIPE_NOWAIT, 0u) << "PIPE_WAIT: blocking";
    EXPECT_EQ(kPipeInstanceMode & ~static_cast<DWORD>(PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE |
                                                      PIPE_REJECT_REMOTE_CLIENTS),
              0u)
        << "no other mode flag";

    ServerRun server;
    server.Start();
    UniqueHandle client = Connect(server.Name());
    ASSERT_TRUE(client);
    DWORD flags = 0;
    DWORD outSize = 0;
    DWORD inSize = 0;
    DWORD maxInstances = 0;
    ASSERT_TRUE(GetNamedPipeInfo(client.Get(), &flags, &outSize, &inSize, &maxInstances));
    EXPECT_NE(flags & PIPE_TYPE_MESSAGE, 0u);
    EXPECT_EQ(maxInstances, kPipeMaxInstances);
}

TEST(PipeServerTest, ClientsOpenAtIdentificationLevel) {
    EXPECT_EQ(kPipeClientOpenFlags & SECURITY_SQOS_PRESENT,
              static_cast<DWORD>(SECURITY_SQOS_PRESENT));
    EXPECT_EQ(kPipeClientOpenFlags & SECURITY_DELEGATION,
              static_cast<DWORD>(SECURITY_IDENTIFICATION))
        << "the level bits say identification";

    // What a server impersonating the client gets: first with the platform's
    // default quality of service, then with ours.
    struct Case {
        const char* name;
        bool defaultFlags;
        SECURITY_IMPERSONATION_LEVEL expected;
    };
    const Case cases[] = {
        {"no quality of service", false, SecurityImpersonation},
        {"OpenPipeAsClient", true, SecurityIdentification},
    };
    SECURITY_IMPERSONATION_LEVEL seen[2] = {};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        test_support::ImpersonationProbe probe(UniquePipeName(), L"ok=true;exitCode=0;message=x");
        ASSERT_TRUE(probe.Ready());
        UniqueHandle client(cases[i].defaultFlags ? OpenedClient(probe.Name())
                                                  : OpenedClient(probe.Name(), 0));
        ASSERT_TRUE(client) << cases[i].name;
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(client.Get(), &mode, nullptr, nullptr);
        ASSERT_TRUE(WriteMessage(client.Get(), EncodeRequest(L"status")));
        EXPECT_TRUE(ReadAnswer(client.Get()).complete) << cases[i].name;
        const test_support::ImpersonationSeen got = probe.Seen();
        ASSERT_TRUE(got.known) << cases[i].name;
        seen[i] = got.level;
    }
    if (test_support::RunningUnderWine() && seen[0] == seen[1]) {
        GTEST_SKIP() << "this Wine ignores the client's quality of service (level " << seen[0]
                     << " either way)";
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(seen[i], cases[i].expected) << cases[i].name;
    }
}

}  // namespace
}  // namespace velk
