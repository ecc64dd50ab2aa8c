// How the parsers' cost grows with the size of their input. Each family runs
// at 1,000 and at 100,000 lines (or characters); the summary divides the time
// by the size and prints the unit cost at the large size against the small
// one, measured in the same run. A ratio near 1 means linear cost; a
// quadratic parser would show a ratio near 100.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "netsteer/machine/route_outcome.h"
#include "netsteer/machine/default_routes.h"
#include "netsteer/machine/tunnel_finder.h"
#include "service/channel/command_dispatcher.h"
#include "tests/support/dispatch_as_system.h"

namespace {

std::wstring Padded(const std::wstring& text, std::size_t width) {
    return text.size() >= width ? text : std::wstring(width - text.size(), L' ') + text;
}

std::wstring Address(std::size_t n) {
    return L"10." + std::to_wstring((n >> 16) & 255) + L"." + std::to_wstring((n >> 8) & 255) +
           L"." + std::to_wstring(n & 255);
}

// A "route print -4" listing with `rows` route lines in the tool's layout.
std::wstring RouteListing(std::size_t rows) {
    const std::wstring ruler(75, L'=');
    std::wstring text = ruler +
                        L"\r\nInterface List\r\n 12...00 15 5d 01 6a 0b ......Ethernet\r\n" +
                        ruler + L"\r\n\r\nIPv4 Route Table\r\n" + ruler +
                        L"\r\nActive Routes:\r\nNetwork Destination        Netmask          "
                        L"Gateway       Interface  Metric\r\n";
    for (std::size_t n = 0; n < rows; ++n) {
        const bool isDefault = n % 50 == 0;
        text += Padded(isDefault ? L"0.0.0.0" : Address(n), 17) +
                Padded(isDefault ? L"0.0.0.0" : L"255.255.255.255", 17) +
                Padded(n % 3 == 0 ? L"192.168.1.1" : L"On-link ", 17) +
                Padded(L"192.168.1.20", 17) + Padded(std::to_wstring(25 + n % 300), 7) + L"\r\n";
    }
    return text + ruler + L"\r\nPersistent Routes:\r\n  None\r\n";
}

// A "netsh interface ipv4 show interfaces" listing with `rows` interfaces and
// no tunnel, so that the whole listing is searched.
std::wstring InterfaceListing(std::size_t rows) {
    std::wstring text =
        L"\r\nIdx     Met         MTU          State                Name\r\n"
        L"---  ----------  ----------  ------------  ---------------------------\r\n";
    for (std::size_t n = 0; n < rows; ++n) {
        text += Padded(std::to_wstring(n % 1000), 3) + L"  " + Padded(L"25", 10) + L"  " +
                Padded(L"1500", 10) + L"  connected     Ethernet " + std::to_wstring(n) + L"\r\n";
    }
    return text + L"\r\n";
}

// One route line of `length` characters: four long text fields and a long
// run of digits as the metric, so that every field is read to its end.
std::wstring LongRouteLine(std::size_t length) {
    const std::size_t field = length / 5;
    std::wstring line;
    for (int n = 0; n < 4; ++n) {
        line += std::wstring(field - 1, L'a') + L' ';
    }
    line += std::wstring(length - line.size(), L'9');
    return L"Active Routes:\r\n" + line + L"\r\n";
}

// A listing in another language, read by the shape of its rows.
std::wstring LocalisedRouteListing(std::size_t rows) {
    std::wstring text = RouteListing(rows);
    const std::wstring english[] = {L"Active Routes:", L"Persistent Routes:", L"On-link"};
    const std::wstring german[] = {L"Aktive Routen:", L"St\u00E4ndige Routen:", L"Auf Verbindung"};
    for (int i = 0; i < 3; ++i) {
        for (std::size_t at = text.find(english[i]); at != std::wstring::npos;
             at = text.find(english[i], at + german[i].size())) {
            text.replace(at, english[i].size(), german[i]);
        }
    }
    return text;
}

// The dispatcher over a fake that answers at once, so that only the reading
// of the request counts.
class InstantOperations final : public velk::CommandOperations {
  public:
    velk::XrayStatus QueryXrayStatus() override { return {true, 259}; }
    velk::CoreSessionHolder CoreSession() override { return {}; }
    velk::CoreStartOutcome StartXray(const std::wstring&, const velk::CallerReadAccess&,
                                     const std::wstring&) override {
        return {};
    }
    velk::OpResult StopXray() override { return {true, 0}; }
    velk::OpResult RunHelperProcess(const std::wstring&, const std::wstring&,
                                    std::uint32_t) override {
        return {};
    }
    std::wstring ReadCoreLogTail(velk::CoreLog, std::int64_t) override { return L""; }
    std::wstring GetModuleDirectory() override { return L"C:\\VelkVPN\\"; }
};

// A request padded with `lines` lines of blanks before its action, all of
// which the dispatcher must pass over.
std::wstring PaddedRequest(std::size_t lines) {
    std::wstring request;
    for (std::size_t n = 0; n < lines; ++n) {
        request += L"   \t   \r\n";
    }
    return request + L"xray_status";
}

constexpr int kSmall = 1000;
constexpr int kLarge = 100000;

void BM_ReadActiveRoutes(benchmark::State& state) {
    const auto rows = static_cast<std::size_t>(state.range(0));
    const std::wstring listing = RouteListing(rows);
    for (auto _ : state) {
        benchmark::DoNotOptimize(netsteer::ReadActiveRoutes(listing));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadActiveRoutes)->Arg(kSmall)->Arg(kLarge);

void BM_ReadLocalisedRoutes(benchmark::State& state) {
    const std::wstring listing = LocalisedRouteListing(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(netsteer::ReadActiveRoutes(listing));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadLocalisedRoutes)->Arg(kSmall)->Arg(kLarge);

void BM_HandleCommand(benchmark::State& state) {
    InstantOperations operations;
    const std::wstring request = PaddedRequest(static_cast<std::size_t>(state.range(0)));
    const velk::LogSink log = [](const std::wstring&) {};
    for (auto _ : state) {
        benchmark::DoNotOptimize(velk::test_support::HandleAsSystem(request, operations, log));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_HandleCommand)->Arg(kSmall)->Arg(kLarge);

void BM_ParseTunnelIndex(benchmark::State& state) {
    const std::wstring listing = InterfaceListing(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(netsteer::ParseTunnelIndex(listing));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseTunnelIndex)->Arg(kSmall)->Arg(kLarge);

void BM_LongRouteLine(benchmark::State& state) {
    const std::wstring listing = LongRouteLine(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(netsteer::ReadActiveRoutes(listing));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LongRouteLine)->Arg(kSmall)->Arg(kLarge);

void BM_LongInterfaceLine(benchmark::State& state) {
    const std::wstring listing(static_cast<std::size_t>(state.range(0)), L'x');
    for (auto _ : state) {
        benchmark::DoNotOptimize(netsteer::ParseTunnelIndex(listing));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LongInterfaceLine)->Arg(kSmall)->Arg(kLarge);

void BM_RouteOutput(benchmark::State& state) {
    std::wstring output;
    while (output.size() < static_cast<std::size_t>(state.range(0))) {
        output += L"The route addition succeeded: nothing to report here.\r\n";
    }
    output.resize(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(netsteer::RouteOutputMeansSuccess(output));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RouteOutput)->Arg(kSmall)->Arg(kLarge);

// Prints the usual table, then per family the time per unit of size relative
// to the family's smallest size.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    // No colour codes: the rows are picked out of the output by their start.
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.complexity_n <= 0) {
                continue;
            }
            // Adjusted times are in the run's own unit; scale them to ns.
            const double ns =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
            families_[run.run_name.function_name].push_back(
                {run.complexity_n, ns / static_cast<double>(run.complexity_n)});
        }
    }

    // One row per family in the benchmark table: the cost per unit at the
    // large size (ours) against the small size (baseline).
    void Finalize() override {
        ConsoleReporter::Finalize();
        static const std::map<std::string, const char*> kFigures = {
            {"BM_ReadActiveRoutes", "route listing, ns per line"},
            {"BM_ReadLocalisedRoutes", "route listing (German), ns per line"},
            {"BM_ParseTunnelIndex", "interface listing, ns per line"},
            {"BM_HandleCommand", "HandleCommand (fake), ns per line"},
            {"BM_LongRouteLine", "one long route line, ns per char"},
            {"BM_LongInterfaceLine", "one long interface line, ns per char"},
            {"BM_RouteOutput", "route command output, ns per char"},
        };
        for (const auto& family : families_) {
            const Point& small = family.second.front();
            const Point& large = family.second.back();
            const auto figure = kFigures.find(family.first);
            std::printf("| %-38s | %10.2f | %10.2f | %6.2f | %-8s |\n",
                        (figure == kFigures.end() ? family.first.c_str() : figure->second),
                        large.perUnitNs, small.perUnitNs, large.perUnitNs / small.perUnitNs,
                        "<= 1.5");
        }
    }

  private:
    struct Point {
        std::int64_t size;
        double perUnitNs;
    };
    std::map<std::string, std::vector<Point>> families_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
