// Where the time of "netsteer start" and "netsteer stop" goes, against the
// network simulator: the fixed pauses, the commands run (against as many runs
// of "cmd.exe /C exit", the bare cost of a command, measured in the same run)
// and the rest, which is netsteer's own work. Then what the IPv6 and DNS steps
// add to a start given the tunnel's DNS server, against the same start with
// those commands answered without being run. The helper runs in this process
// through a clock around each call of the real Windows seam.
//
// Usage: netsteer_bench.exe [rounds]   (needs the simulator in the prefix)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "netsteer/control/helper_entry.h"
#include "netsteer/control/windows_control_system.h"
#include "netsteer/machine/system_commands.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr wchar_t kServer[] = L"203.0.113.7";
constexpr wchar_t kDnsServer[] = L"10.8.0.1";
constexpr int kBareCommandRuns = 20;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The commands a start adds after the IPv4 routes; their output is not read.
bool IsIpv6OrDnsStep(const std::wstring& command) {
    return command.rfind(L"netsh interface ipv6 ", 0) == 0 ||
           command.find(L"DnsClientNrptRule") != std::wstring::npos ||
           command == netsteer::FlushDnsCommand();
}

// The real seam, with a clock around every command and pause; with
// `ipv4Only`, the IPv6 and DNS commands are answered with nothing instead.
class TimedSystem final : public netsteer::ControlSystem {
  public:
    TimedSystem(netsteer::ControlSystem& real, bool ipv4Only) : real_(real), ipv4Only_(ipv4Only) {}

    velk::Win32Result<std::wstring> RunCommand(const std::wstring& command) override {
        if (ipv4Only_ && IsIpv6OrDnsStep(command)) {
            return std::wstring();
        }
        const auto start = Clock::now();
        velk::Win32Result<std::wstring> output = real_.RunCommand(command);
        commandsMs += MsSince(start);
        ++commands;
        return output;
    }
    void Sleep(std::uint32_t milliseconds) override {
        const auto start = Clock::now();
        real_.Sleep(milliseconds);
        pausesMs += MsSince(start);
        requestedPauseMs += milliseconds;
    }
    void Log(const std::wstring& message) override { real_.Log(message); }
    velk::Win32Result<std::wstring> ResolveServerHost(const std::wstring& host) override {
        return real_.ResolveServerHost(host);
    }
    std::uint64_t MonotonicMs() override { return real_.MonotonicMs(); }
    std::wstring StateFilePath() override { return real_.StateFilePath(); }

    double commandsMs = 0;
    double pausesMs = 0;
    double requestedPauseMs = 0;
    int commands = 0;

  private:
    netsteer::ControlSystem& real_;
    bool ipv4Only_;
};

struct Split {
    int exitCode = -1;
    double wallMs = 0;
    double pausesMs = 0;
    double requestedPauseMs = 0;
    double commandsMs = 0;
    int commands = 0;
};

Split RunAction(netsteer::ControlSystem& real, const wchar_t* action, const wchar_t* dns = nullptr,
                bool ipv4Only = false) {
    TimedSystem timed(real, ipv4Only);
    const wchar_t* argv[] = {L"netsteer.exe", action, kServer, dns};
    const auto start = Clock::now();
    Split split;
    split.exitCode = netsteer::HelperMain(timed, dns == nullptr ? 3 : 4, argv);
    split.wallMs = MsSince(start);
    split.pausesMs = timed.pausesMs;
    split.requestedPauseMs = timed.requestedPauseMs;
    split.commandsMs = timed.commandsMs;
    split.commands = timed.commands;
    return split;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Row(const std::string& figure, double ours, double baseline, const char* goal) {
    std::printf("| %-38s | %10.1f | %10.1f | %6.2f | %-8s |\n", figure.c_str(), ours, baseline,
                baseline > 0 ? ours / baseline : 0.0, goal);
}

void Rows(const char* action, const Split& split, double bareCommandMs) {
    const std::string name = std::string("netsteer ") + action;
    const double ownMs = split.wallMs - split.pausesMs - split.commandsMs;
    Row(name + ": wall ms / pauses", split.wallMs, split.requestedPauseMs, "");
    Row(name + ": pauses ms / asked", split.pausesMs, split.requestedPauseMs, "");
    Row(name + ": " + std::to_string(split.commands) + " commands ms / bare", split.commandsMs,
        split.commands * bareCommandMs, "");
    Row(name + ": own ms / wall ms", ownMs, split.wallMs, "< 0.05");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 3;
    netsteer::WindowsControlSystem real;
    if (netsteer::PrintedText(real.RunCommand(L"netsim reset home && netsim tunnel-up")).empty()) {
        std::fwprintf(stderr, L"netsteer_bench: the network simulator does not answer\n");
        return 1;
    }
    std::vector<double> bare;
    for (int i = 0; i < kBareCommandRuns; ++i) {
        const auto start = Clock::now();
        static_cast<void>(real.RunCommand(L"exit"));
        bare.push_back(MsSince(start));
    }
    const double bareCommandMs = Median(bare);

    // Each round: a start with the DNS server and its stop, then the same
    // with the IPv6 and DNS commands left out.
    Split best[2][2];  // [ipv4Only][start, stop]
    for (int round = 0; round < rounds; ++round) {
        for (const bool ipv4Only : {false, true}) {
            const Split start = RunAction(real, L"start", kDnsServer, ipv4Only);
            const Split stop = RunAction(real, L"stop", nullptr, ipv4Only);
            if (start.exitCode != 0 || stop.exitCode != 0) {
                std::fwprintf(stderr, L"netsteer_bench: start gave %d, stop gave %d\n",
                              start.exitCode, stop.exitCode);
                return 1;
            }
            Split* pair = best[ipv4Only ? 1 : 0];
            if (round == 0 || start.wallMs < pair[0].wallMs) {
                pair[0] = start;
            }
            if (round == 0 || stop.wallMs < pair[1].wallMs) {
                pair[1] = stop;
            }
        }
    }
    Rows("start", best[0][0], bareCommandMs);
    Rows("stop", best[0][1], bareCommandMs);
    Row("netsteer start: wall ms / IPv4 only", best[0][0].wallMs, best[1][0].wallMs, "report");
    Row("netsteer stop: wall ms / IPv4 only", best[0][1].wallMs, best[1][1].wallMs, "report");
    std::printf("(netsteer: best of %d rounds; a bare command, cmd.exe /C exit, took %.1f ms)\n",
                rounds, bareCommandMs);
    return 0;
}
