// How fast the service's pipe answers "status", against the floor: a minimal
// blocking message-mode pipe service (floor_service_main_win32.cpp). Both run
// in the service control manager, installed in turn, several rounds each,
// alternating; the best round of each counts. Prints one table row per
// figure: ours, the floor, their ratio and the goal. The service's private
// bytes after 100 requests and after 20,000 show what each request leaves
// behind. Then "status" while sixteen clients connect and stay silent, again
// and again, and while sixteen write "status" and never read the answer,
// each request waiting as long as velkctl does by default, against the same
// service without them.
//
// Usage: pipe_bench.exe <VelkVPNService.exe> <floor service .exe> [rounds]
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <future>
#include <string>
#include <vector>

#include "bench/pipe/pipe_bench_names.h"
#include "common/service_handles.h"
#include "common/unique_handle.h"
#include "service/service_constants.h"
#include "tests/support/hostile_crowd.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWarmUp = 200;
constexpr int kOneClientTrips = 3000;
constexpr int kClients = 8;
constexpr int kTripsPerClient = 400;
constexpr int kMemoryEarlyTrips = 100;
constexpr int kMemoryLateTrips = 20000;
constexpr int kCrowdClients = 16;
constexpr int kCrowdedTrips = 40;
// How long one request may wait for an instance: velkctl's default wait.
constexpr DWORD kClientWaitMs = 10000;

struct Trips {
    double perSecond = 0;
    double p50Us = 0;
    double p99Us = 0;
    double busyPerRequest = 0;
    int failed = 0;
    double answeredShare = 100;  // per cent, the worst round's
};

struct Target {
    const wchar_t* service;
    const wchar_t* pipe;
    std::wstring program;
};

// One connection, one "status", one answer, the pipe waited for at most
// `waitMs`. False when no complete answer came.
bool RoundTrip(const wchar_t* pipeName, int& busy, DWORD waitMs = kClientWaitMs) {
    velk::UniqueHandle pipe;
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        pipe.Reset(CreateFileW(pipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        const ULONGLONG now = GetTickCount64();
        if (pipe || now >= deadline) {
            break;
        }
        ++busy;
        WaitNamedPipeW(pipeName, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 1000)));
    }
    if (!pipe) {
        return false;
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr);
    const wchar_t request[] = L"status";
    DWORD bytes = 0;
    char answer[4096];
    return WriteFile(pipe.Get(), request, 12, &bytes, nullptr) &&
           ReadFile(pipe.Get(), answer, sizeof(answer), &bytes, nullptr) &&
           bytes == sizeof(velk::bench::kStatusAnswer);
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(fraction * values.size()))];
}

Trips Measure(const wchar_t* pipeName, int clients, int tripsPerClient) {
    std::vector<std::future<std::vector<double>>> runs;
    std::atomic<int> busy{0};
    std::atomic<int> failed{0};
    const auto start = Clock::now();
    for (int client = 0; client < clients; ++client) {
        runs.push_back(std::async(std::launch::async, [&] {
            std::vector<double> times;
            int ownBusy = 0;
            for (int i = 0; i < tripsPerClient; ++i) {
                const auto begun = Clock::now();
                failed += RoundTrip(pipeName, ownBusy) ? 0 : 1;
                times.push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - begun).count());
            }
            busy += ownBusy;
            return times;
        }));
    }
    std::vector<double> all;
    for (auto& run : runs) {
        const std::vector<double> times = run.get();
        all.insert(all.end(), times.begin(), times.end());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Trips trips;
    trips.perSecond = all.size() / seconds;
    trips.p50Us = Percentile(all, 0.5);
    trips.p99Us = Percentile(all, 0.99);
    trips.busyPerRequest = static_cast<double>(busy) / all.size();
    trips.failed = failed;
    return trips;
}

bool WaitForState(SC_HANDLE service, DWORD state) {
    for (int i = 0; i < 1000; ++i) {
        SERVICE_STATUS status{};
        if (QueryServiceStatus(service, &status) && status.dwCurrentState == state) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

void Remove(SC_HANDLE manager, const wchar_t* name) {
    const velk::UniqueScHandle old(OpenServiceW(manager, name, SERVICE_ALL_ACCESS));
    if (!old) {
        return;
    }
    SERVICE_STATUS status{};
    ControlService(old.Get(), SERVICE_CONTROL_STOP, &status);
    WaitForState(old.Get(), SERVICE_STOPPED);
    DeleteService(old.Get());
}

// The private bytes of the service's process; 0 when they cannot be read.
double PrivateBytes(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof status, &needed)) {
        return 0;
    }
    const velk::UniqueHandle process(OpenProcess(
        PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, status.dwProcessId));
    if (!process) {
        return 0;
    }
    // The commit charge is the process's private bytes; Windows gives it as
    // both PagefileUsage and PrivateUsage, Wine only as the former.
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    const bool read = GetProcessMemoryInfo(process.Get(), &counters, sizeof counters);
    return read ? static_cast<double>(counters.PagefileUsage) : 0;
}

struct Memory {
    double early = 0;  // private bytes after kMemoryEarlyTrips requests
    double late = 0;   // and after kMemoryLateTrips
};

// Installs and starts `target`, measures, stops and removes it. With
// `memory`, first counts the private bytes after a few and after many
// requests.
// With `silent` and `talkative`, "status" again while a crowd of each kind
// holds the pipe.
bool Run(SC_HANDLE manager, const Target& target, Trips& one, Trips& many, Memory* memory = nullptr,
         Trips* silent = nullptr, Trips* talkative = nullptr) {
    Remove(manager, target.service);
    const std::wstring binary = L"\"" + target.program + L"\"";
    const velk::UniqueScHandle service(
        CreateServiceW(manager, target.service, target.service, SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                       binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service || !StartServiceW(service.Get(), 0, nullptr) ||
        !WaitForState(service.Get(), SERVICE_RUNNING)) {
        std::fwprintf(stderr, L"cannot start %ls from %ls: %lu\n", target.service,
                      target.program.c_str(), GetLastError());
        return false;
    }
    int busy = 0;
    if (memory != nullptr) {
        for (int i = 0; i < kMemoryLateTrips; ++i) {
            RoundTrip(target.pipe, busy);
            if (i + 1 == kMemoryEarlyTrips) {
                memory->early = PrivateBytes(service.Get());
            }
        }
        memory->late = PrivateBytes(service.Get());
    }
    for (int i = 0; i < kWarmUp; ++i) {
        RoundTrip(target.pipe, busy);
    }
    one = Measure(target.pipe, 1, kOneClientTrips);
    many = Measure(target.pipe, kClients, kTripsPerClient);
    if (silent != nullptr) {
        velk::test_support::SilentCrowd crowd(target.pipe, kCrowdClients);
        *silent = Measure(target.pipe, 1, kCrowdedTrips);
    }
    if (talkative != nullptr) {
        velk::test_support::TalkativeCrowd crowd(target.pipe, kCrowdClients);
        *talkative = Measure(target.pipe, 1, kCrowdedTrips);
    }
    SERVICE_STATUS status{};
    ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
    WaitForState(service.Get(), SERVICE_STOPPED);
    DeleteService(service.Get());
    return true;
}

// `trips`: how many round trips `round` made, to keep the worst share answered.
void Keep(Trips& best, const Trips& round, int trips = 0) {
    best.perSecond = std::max(best.perSecond, round.perSecond);
    best.p50Us = best.p50Us == 0 ? round.p50Us : std::min(best.p50Us, round.p50Us);
    best.p99Us = best.p99Us == 0 ? round.p99Us : std::min(best.p99Us, round.p99Us);
    best.busyPerRequest = round.busyPerRequest;
    best.failed += round.failed;
    if (trips > 0) {
        best.answeredShare = std::min(best.answeredShare, 100.0 * (trips - round.failed) / trips);
    }
}

void Row(const char* figure, double ours, double floor, const char* goal) {
    std::printf("| %-38s | %10.1f | %10.1f | %6.2f | %-8s |\n", figure, ours, floor,
                floor > 0 ? ours / floor : 0.0, goal);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: pipe_bench <VelkVPNService.exe> <floor.exe> [rounds]\n");
        return 2;
    }
    const int rounds = argc > 3 ? std::max(1, _wtoi(argv[3])) : 3;
    const velk::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        std::fwprintf(stderr, L"no service control manager: %lu\n", GetLastError());
        return 1;
    }
    const Target ours{velk::kServiceName, velk::kPipeName, argv[1]};
    const Target floor{velk::bench::kFloorServiceName, velk::bench::kFloorPipeName, argv[2]};
    Trips oursOne, oursMany, floorOne, floorMany, oursSilent, oursTalkative;
    Memory memory;
    for (int round = 0; round < rounds; ++round) {
        Trips one, many, silent, talkative;
        if (!Run(manager.Get(), ours, one, many, round == 0 ? &memory : nullptr, &silent,
                 &talkative)) {
            return 1;
        }
        Keep(oursOne, one);
        Keep(oursMany, many);
        Keep(oursSilent, silent, kCrowdedTrips);
        Keep(oursTalkative, talkative, kCrowdedTrips);
        if (!Run(manager.Get(), floor, one, many)) {
            return 1;
        }
        Keep(floorOne, one);
        Keep(floorMany, many);
    }

    Row("status per second, one client", oursOne.perSecond, floorOne.perSecond, ">= 0.9");
    Row("round trip p50 (us), one client", oursOne.p50Us, floorOne.p50Us, "");
    Row("round trip p99 (us), one client", oursOne.p99Us, floorOne.p99Us, "<= 1.5");
    Row("status per second, 8 clients", oursMany.perSecond, floorMany.perSecond, "");
    Row("round trip p99 (us), 8 clients", oursMany.p99Us, floorMany.p99Us, "");
    Row("busy retries per request, 8 clients", oursMany.busyPerRequest, floorMany.busyPerRequest,
        "");
    Row("service private KiB, 20,000 vs 100 req", memory.late / 1024, memory.early / 1024,
        "+< 1024");
    // Against the same service without the crowd.
    const double quietShare =
        100.0 * (kOneClientTrips * rounds - oursOne.failed) / (kOneClientTrips * rounds);
    Row("status answered %, 16 silent clients", oursSilent.answeredShare, quietShare, "1.00");
    Row("status p99 (ms), 16 silent clients", oursSilent.p99Us / 1000, oursOne.p99Us / 1000,
        "ours<10s");
    Row("status answered %, 16 talkative", oursTalkative.answeredShare, quietShare, "1.00");
    Row("status p99 (ms), 16 talkative", oursTalkative.p99Us / 1000, oursOne.p99Us / 1000,
        "ours<10s");
    std::printf(
        "(pipe: best of %d rounds each, alternating; baseline: the floor service; %d failed "
        "round trips; the service's private bytes grew by %.0f KiB from request 100 to "
        "20,000)\n",
        rounds, oursOne.failed + oursMany.failed + floorOne.failed + floorMany.failed,
        (memory.late - memory.early) / 1024);
    std::printf(
        "(pipe, 16 silent clients, and 16 talkative ones that write status and never read: %d "
        "status requests a round each, one at a time, each waiting up to %lu ms as velkctl does; "
        "worst round's share, best round's p99; baseline: the service without them, one "
        "client; %d and %d failed round trips)\n",
        kCrowdedTrips, static_cast<unsigned long>(kClientWaitMs), oursSilent.failed,
        oursTalkative.failed);
    return 0;
}
