// How long "xray_start" takes until the proxy core's SOCKS port accepts,
// through VelkVPNService in Wine's service manager, against the same xray.exe
// started directly with CreateProcessW and the same configuration. Each round
// writes a configuration for a port picked free on 127.0.0.1; the two ways
// alternate after one warm-up round of each, and the median round of each
// counts. Prints two table rows: until the port accepts, polled from the
// moment the request is written; and until the client also has its answer,
// which comes only after the service's fixed settle time.
//
// Usage: core_start_bench.exe <VelkVPNService.exe> <xray.exe> <directory> [rounds]
// The service takes xray.exe from its own folder, so it must lie there too.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <future>
#include <string>
#include <vector>

#include "bench/core/loopback_port.h"
#include "common/service_handles.h"
#include "common/unique_handle.h"
#include "common/winsock_session.h"
#include "service/service_constants.h"
#include "tests/support/pipe_client.h"
#include "tests/support/win_files.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kPollMs = 2;
// Only guards against a hang; a round that reaches it fails the benchmark.
constexpr std::chrono::milliseconds kHangGuard{30000};
constexpr DWORD kServiceStateWaitMs = 10000;
constexpr wchar_t kStartedAnswer[] = L"ok=true;exitCode=0;message=xray start finished";
constexpr wchar_t kStoppedAnswer[] = L"ok=true;exitCode=0;message=xray stopped";
constexpr wchar_t kDirectLogName[] = L"core_start_direct.log";

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Polls the port from `start` on, on a thread of its own, so that the request
// it races runs undisturbed; gives the milliseconds from `start` until the
// port accepted, or -1 when the hang guard passed first.
std::future<double> TimeUntilAccepting(std::uint16_t port, Clock::time_point start) {
    return std::async(std::launch::async, [port, start] {
        while (Clock::now() - start < kHangGuard) {
            if (velk::bench::LoopbackPortAccepts(port)) {
                return MsSince(start);
            }
            Sleep(kPollMs);
        }
        return -1.0;
    });
}

std::string SocksConfig(std::uint16_t port) {
    return R"({"log":{"loglevel":"warning"},"inbounds":[{"listen":"127.0.0.1","port":)" +
           std::to_string(port) +
           R"(,"protocol":"socks","settings":{"udp":false}}],"outbounds":[{"protocol":"freedom"}]})";
}

// A configuration for a fresh free port, written into `directory`.
struct RoundConfig {
    std::uint16_t port = 0;
    std::wstring path;
};

bool PrepareRound(const std::wstring& directory, RoundConfig& round) {
    round.port = velk::bench::PickFreeLoopbackPort();
    round.path = directory + L"core_start_" + std::to_wstring(round.port) + L".json";
    return round.port != 0 &&
           velk::test_support::WriteFileBytes(round.path, SocksConfig(round.port));
}

struct Timing {
    double acceptedMs = -1;  // the port accepts
    double answeredMs = -1;  // the service answered (the direct way has no answer)
    double readyMs = -1;     // both: what a client waits for before it uses the proxy
};

std::wstring Request(const std::wstring& request) {
    return velk::test_support::Exchange(velk::kPipeName, velk::EncodeRequest(request), kHangGuard)
        .Line();
}

// "xray_start", timing its answer and, from the moment it is written, the
// port. Then "xray_stop".
bool ThroughService(const RoundConfig& round, Timing& timing) {
    const auto start = Clock::now();
    std::future<double> accepted = TimeUntilAccepting(round.port, start);
    const std::wstring answer = Request(L"xray_start " + round.path);
    timing.answeredMs = MsSince(start);
    timing.acceptedMs = accepted.get();
    timing.readyMs = std::max(timing.answeredMs, timing.acceptedMs);
    // A core left running would weigh on the rounds after this one.
    const std::wstring stopped = Request(L"xray_stop");
    if (answer != kStartedAnswer || stopped != kStoppedAnswer || timing.acceptedMs < 0) {
        std::fwprintf(stderr, L"xray_start %ls: \"%ls\", xray_stop: \"%ls\", port %u %ls\n",
                      round.path.c_str(), answer.c_str(), stopped.c_str(), round.port,
                      timing.acceptedMs < 0 ? L"never accepted" : L"accepted");
        return false;
    }
    return true;
}

// The same core and configuration, created directly, until the port accepts;
// then terminated. Its output goes to a file, as the service's does. A job
// ends it should this program die first.
bool Directly(const std::wstring& core, const std::wstring& directory, const RoundConfig& round,
              Timing& timing) {
    const velk::UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const velk::UniqueHandle log(CreateFileW((directory + kDirectLogName).c_str(), FILE_APPEND_DATA,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!job || !log ||
        !SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
        std::fwprintf(stderr, L"no job or log for the direct core: %lu\n", GetLastError());
        return false;
    }
    std::wstring commandLine = L"\"" + core + L"\" run -config \"" + round.path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = log.Get();
    startup.hStdError = log.Get();
    PROCESS_INFORMATION info{};

    const auto start = Clock::now();
    std::future<double> accepted = TimeUntilAccepting(round.port, start);
    // Suspended until it is in its job, as the service starts it.
    const bool created = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr,
                                        directory.c_str(), &startup, &info) != FALSE;
    const DWORD createError = GetLastError();
    const velk::ProcessHandles handles =
        created ? velk::TakeProcessHandles(info) : velk::ProcessHandles{};
    if (created) {
        AssignProcessToJobObject(job.Get(), handles.process.Get());
        ResumeThread(handles.thread.Get());
    }
    timing.acceptedMs = accepted.get();
    timing.readyMs = timing.acceptedMs;
    if (created) {
        TerminateProcess(handles.process.Get(), 0);
        WaitForSingleObject(handles.process.Get(), velk::kCoreTerminateWaitMs);
    }
    if (!created || timing.acceptedMs < 0) {
        std::fwprintf(stderr, L"%ls: %ls\n", commandLine.c_str(),
                      created ? L"the port never accepted" : L"not created");
        std::fwprintf(stderr, L"CreateProcessW error %lu\n", created ? 0 : createError);
        return false;
    }
    return true;
}

bool WaitForState(SC_HANDLE service, DWORD state) {
    const ULONGLONG until = GetTickCount64() + kServiceStateWaitMs;
    while (GetTickCount64() < until) {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status) && status.dwCurrentState == state) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

void StopAndDelete(SC_HANDLE service) {
    SERVICE_STATUS status{};
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    WaitForState(service, SERVICE_STOPPED);
    DeleteService(service);
}

// The service installed from `program` and running, replacing one left over
// from an earlier run; no handle when it did not start.
velk::UniqueScHandle InstallAndStart(SC_HANDLE manager, const std::wstring& program) {
    if (const velk::UniqueScHandle old(
            OpenServiceW(manager, velk::kServiceName, SERVICE_ALL_ACCESS));
        old) {
        StopAndDelete(old.Get());
    }
    const std::wstring binary = L"\"" + program + L"\"";
    velk::UniqueScHandle service(
        CreateServiceW(manager, velk::kServiceName, velk::kServiceName, SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                       binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service || !StartServiceW(service.Get(), 0, nullptr) ||
        !WaitForState(service.Get(), SERVICE_RUNNING)) {
        std::fwprintf(stderr, L"cannot start %ls: %lu\n", program.c_str(), GetLastError());
        if (service) {
            StopAndDelete(service.Get());
        }
        return {};
    }
    return service;
}

void Row(const char* figure, double ours, double baseline, const char* goal) {
    std::printf("| %-38s | %10.1f | %10.1f | %6.2f | %-8s |\n", figure, ours, baseline,
                baseline > 0 ? ours / baseline : 0.0, goal);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Best(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

struct Series {
    std::vector<double> ready, accepted, answered;
    void Add(const Timing& timing) {
        ready.push_back(timing.readyMs);
        accepted.push_back(timing.acceptedMs);
        answered.push_back(timing.answeredMs);
    }
};

// One round of each way, the service's first; false when either failed.
bool RunRound(const std::wstring& core, const std::wstring& directory, Series& ours,
              Series& direct) {
    RoundConfig viaService, started;
    Timing serviceTiming, directTiming;
    const bool ok = PrepareRound(directory, viaService) &&
                    ThroughService(viaService, serviceTiming) && PrepareRound(directory, started) &&
                    Directly(core, directory, started, directTiming);
    DeleteFileW(viaService.path.c_str());
    DeleteFileW(started.path.c_str());
    if (!ok) {
        return false;
    }
    ours.Add(serviceTiming);
    direct.Add(directTiming);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fwprintf(stderr,
                      L"usage: core_start_bench <VelkVPNService.exe> <xray.exe> <directory> "
                      L"[rounds]\n");
        return 2;
    }
    const std::wstring core = argv[2];
    const std::wstring directory = std::wstring(argv[3]) + L"\\";
    const int rounds = argc > 4 ? std::max(1, _wtoi(argv[4])) : 3;
    const velk::WinsockSession winsock;
    const velk::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!winsock.Started() || !manager) {
        std::fwprintf(stderr, L"no Winsock (%u) or service manager (%lu)\n", winsock.StartError(),
                      GetLastError());
        return 1;
    }
    const velk::UniqueScHandle service = InstallAndStart(manager.Get(), argv[1]);
    if (!service) {
        return 1;
    }
    // The first start of each pays for loading the core from disk and, in
    // the service, for making its data directory.
    Series coldOurs, coldDirect;
    bool ok = RunRound(core, directory, coldOurs, coldDirect);
    Series ours, direct;
    for (int round = 0; ok && round < rounds; ++round) {
        ok = RunRound(core, directory, ours, direct);
    }
    StopAndDelete(service.Get());
    DeleteFileW((directory + kDirectLogName).c_str());
    if (!ok) {
        return 1;
    }

    const double directMs = Median(direct.accepted);
    Row("xray_start until SOCKS accepts (ms)", Median(ours.accepted), directMs, "<= 1.2");
    Row("xray_start answered + SOCKS up (ms)", Median(ours.ready), directMs, "report");
    std::printf(
        "(core start: median of %d rounds each, alternating, after a warm-up of each; ours: "
        "xray_start written to the service, then a connect() to the SOCKS port on 127.0.0.1 "
        "polled every %lu ms from that moment on; the answer came after %.0f ms, %u ms of "
        "them the service's fixed settle time, so a client that waits for it sees the second "
        "row; baseline: CreateProcessW of the same xray.exe and configuration until the port "
        "accepted; best rounds %.0f, %.0f and %.0f ms; warm-up rounds %.0f, %.0f and %.0f ms)\n",
        rounds, static_cast<unsigned long>(kPollMs), Median(ours.answered),
        static_cast<unsigned>(velk::kCoreSettleMs), Best(ours.accepted), Best(ours.ready),
        Best(direct.accepted), Median(coldOurs.accepted), Median(coldOurs.ready),
        Median(coldDirect.accepted));
    return 0;
}
