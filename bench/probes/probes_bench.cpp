// How the listing parsers' cost grows with the size of the text. Each family
// runs at growing sizes; the summary divides the time by the size and prints
// that unit cost relative to the family's smallest size, measured in the same
// run. A ratio that stays near 1 means linear cost; a quadratic parser would
// show ratios that grow with the size.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "netsteer/probes/route_command.h"
#include "netsteer/probes/route_table.h"
#include "netsteer/probes/tunnel_finder.h"

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

void BM_ReadActiveRoutes(benchmark::State& state) {
    const auto rows = static_cast<std::size_t>(state.range(0));
    const std::wstring listing = RouteListing(rows);
    for (auto _ : state) {
        benchmark::DoNotOptimize(netsteer::ReadActiveRoutes(listing));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReadActiveRoutes)->RangeMultiplier(4)->Range(1 << 8, 1 << 16);

void BM_ParseTunnelIndex(benchmark::State& state) {
    const std::wstring listing = InterfaceListing(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(netsteer::ParseTunnelIndex(listing));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseTunnelIndex)->RangeMultiplier(4)->Range(1 << 8, 1 << 16);

void BM_LongRouteLine(benchmark::State& state) {
    const std::wstring listing = LongRouteLine(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(netsteer::ReadActiveRoutes(listing));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LongRouteLine)->RangeMultiplier(4)->Range(1 << 10, 1 << 20);

void BM_LongInterfaceLine(benchmark::State& state) {
    const std::wstring listing(static_cast<std::size_t>(state.range(0)), L'x');
    for (auto _ : state) {
        benchmark::DoNotOptimize(netsteer::ParseTunnelIndex(listing));
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LongInterfaceLine)->RangeMultiplier(4)->Range(1 << 10, 1 << 20);

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
BENCHMARK(BM_RouteOutput)->RangeMultiplier(4)->Range(1 << 10, 1 << 20);

// Prints the usual table, then per family the time per unit of size relative
// to the family's smallest size.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.complexity_n <= 0) {
                continue;
            }
            const double perUnit = run.GetAdjustedCPUTime() / static_cast<double>(run.complexity_n);
            families_[run.run_name.function_name].push_back(
                {run.complexity_n, perUnit, run.time_unit});
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nCost per unit of size relative to the smallest size (near 1 = linear):\n");
        for (const auto& family : families_) {
            const Point& baseline = family.second.front();
            for (const Point& point : family.second) {
                std::printf("  %-22s %9lld  %10.3f %s/unit  ratio %.2f\n", family.first.c_str(),
                            static_cast<long long>(point.size), point.perUnit,
                            benchmark::GetTimeUnitString(point.unit),
                            point.perUnit / baseline.perUnit);
            }
        }
    }

  private:
    struct Point {
        std::int64_t size;
        double perUnit;
        benchmark::TimeUnit unit;
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
