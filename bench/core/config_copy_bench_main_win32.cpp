// What the service's check and copy of a caller's configuration cost on the
// largest one it takes: CoreProcessManager::StartXray on a configuration
// whose routing rule list fills it to just under the 16 MiB limit, against
// CopyFileW of the same file, in the same run. The manager's program folder
// holds no xray.exe, so each start reads the file, checks it, writes the copy
// and then fails to create the process. Prints two rows: the time (median of
// the rounds, the two alternating) and how far the first start raised this
// process's peak working set, against the file's size.
//
// Usage: config_copy_bench.exe <directory for temporary files> [rounds]
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "bench/core/rule_list_config.h"
#include "service/service_constants.h"
#include "service/supervision/core_process_manager.h"
#include "tests/support/direct_caller.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kMiB = 1024.0 * 1024.0;
// The program folder holds no core, so a start ends at the process creation.
constexpr std::uint32_t kNoCoreError = ERROR_FILE_NOT_FOUND;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// This process's peak working set in bytes; 0 when it cannot be read.
double PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)
               ? static_cast<double>(counters.PeakWorkingSetSize)
               : 0;
}

// The file's size, or -1 when there is no such file.
long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Paths {
    std::wstring root;           // everything below is removed at the end
    std::wstring source;         // the large configuration
    std::wstring plainCopy;      // where CopyFileW copies it
    std::wstring noCore;         // the manager's program folder, without xray.exe
    std::wstring dataDirectory;  // the manager's data folder
    std::wstring configCopy;     // the manager's copy

    explicit Paths(const std::wstring& directory)
        : root(directory + L"\\config-copy\\"),
          source(root + L"rules.json"),
          plainCopy(root + L"rules_copy.json"),
          noCore(root + L"no-core\\"),
          dataDirectory(root + L"data"),
          configCopy(dataDirectory + L"\\xray_config.json") {}
};

velk::CoreProcessSettings SettingsFor(const Paths& paths) {
    velk::CoreProcessSettings settings;
    settings.programDirectory = paths.noCore;
    settings.dataDirectory = paths.dataDirectory;
    settings.runtimeLogPath = paths.dataDirectory + L"\\xray_runtime_error.log";
    settings.errorLogPath = paths.dataDirectory + L"\\xray_error.log";
    settings.configCopyPath = paths.configCopy;
    return settings;
}

// One start through the manager; false unless it failed as expected, at the
// process creation, after writing a non-empty copy.
bool TimedStart(velk::CoreProcessManager& manager, const Paths& paths, double& ms) {
    DeleteFileW(paths.configCopy.c_str());
    const auto start = Clock::now();
    const velk::OpResult result =
        velk::AnswerOf(manager.StartXray(paths.source, velk::test_support::AnyoneMayRead,
                                         velk::test_support::SystemCaller().userSid));
    ms = MsSince(start);
    if (result.ok || result.code != kNoCoreError || FileSize(paths.configCopy) <= 0) {
        std::fwprintf(stderr,
                      L"StartXray gave ok=%d code=%u, copy of %lld bytes (expected a "
                      L"failed creation, code %u, after the copy)\n",
                      result.ok ? 1 : 0, result.code, FileSize(paths.configCopy), kNoCoreError);
        return false;
    }
    return true;
}

bool TimedCopy(const Paths& paths, double& ms) {
    const auto start = Clock::now();
    const bool copied = CopyFileW(paths.source.c_str(), paths.plainCopy.c_str(), FALSE) != FALSE;
    ms = MsSince(start);
    if (!copied) {
        std::fwprintf(stderr, L"CopyFileW: %lu\n", GetLastError());
    }
    return copied;
}

void Row(const char* figure, double ours, double baseline, const char* goal) {
    std::printf("| %-38s | %10.1f | %10.1f | %6.2f | %-8s |\n", figure, ours, baseline,
                baseline > 0 ? ours / baseline : 0.0, goal);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: config_copy_bench <directory> [rounds]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 5;
    const Paths paths(argv[1]);
    std::error_code ignored;
    std::filesystem::remove_all(paths.root, ignored);
    std::filesystem::create_directories(paths.noCore, ignored);
    const velk::Win32Result<std::uint64_t> written =
        velk::bench::WriteRuleListConfig(paths.source, velk::kMaxCoreConfigBytes);
    if (!written) {
        std::fwprintf(stderr, L"cannot write %ls: %ls\n", paths.source.c_str(),
                      velk::FailureText(written.error()).c_str());
        return 1;
    }
    const double fileBytes = static_cast<double>(written.value());

    velk::CoreProcessManager manager(SettingsFor(paths));
    // Nothing before this held more than a small buffer, so the peak that
    // the first start leaves is its own.
    const double peakBefore = PeakWorkingSet();
    double firstMs = 0;
    bool ok = TimedStart(manager, paths, firstMs);
    const double peakAfter = PeakWorkingSet();
    const long long copyBytes = FileSize(paths.configCopy);
    double copyMs = 0;
    ok = ok && TimedCopy(paths, copyMs);  // warm-up of the baseline

    std::vector<double> ours, baseline;
    for (int round = 0; ok && round < rounds; ++round) {
        double startMs = 0;
        ok = TimedStart(manager, paths, startMs) && TimedCopy(paths, copyMs);
        ours.push_back(startMs);
        baseline.push_back(copyMs);
    }
    std::filesystem::remove_all(paths.root, ignored);
    if (!ok || peakBefore <= 0) {
        return 1;
    }

    Row("config check and copy (ms), 16 MiB", Median(ours), Median(baseline), "ours<1s");
    Row("peak working set growth (MiB), 16 MiB", (peakAfter - peakBefore) / kMiB, fileBytes / kMiB,
        "report");
    std::printf(
        "(configuration: %.0f bytes of routing rules, the service's limit is %llu; ours: "
        "CoreProcessManager::StartXray reading, checking and copying it (%lld bytes written), "
        "then failing to create the core as expected (code %u), median of %d rounds after a "
        "first of %.0f ms; baseline: CopyFileW of the same file, alternating; peak working set "
        "%.1f MiB before the first start, %.1f MiB after it; ratio = growth / file size)\n",
        fileBytes, static_cast<unsigned long long>(velk::kMaxCoreConfigBytes), copyBytes,
        kNoCoreError, rounds, firstMs, peakBefore / kMiB, peakAfter / kMiB);
    return 0;
}
