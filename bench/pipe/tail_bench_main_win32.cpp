// The error log reader's cost does not grow with the file: ReadFileTail with
// the dispatcher's 8192 bytes on a 1 GiB file against the same on a 10 KiB
// file, measured in the same run. Prints one table row; the ratio should stay
// near 1.
//
// Usage: tail_bench.exe <directory for two temporary files>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "common/unique_handle.h"
#include "service/service_constants.h"
#include "service/supervision/file_tail.h"

namespace {

constexpr int kReads = 300;

// A file of `size` bytes of log text, or the end of one: the first and the
// last 64 KiB hold text, the rest is left to the file system (sparse where it
// can be), which changes nothing for a reader that only reads the end.
bool MakeLog(const std::wstring& path, LONGLONG size) {
    const velk::UniqueHandle owned(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!owned) {
        return false;
    }
    const HANDLE file = owned.Get();
    std::string text;
    while (text.size() < 65536) {
        text += "2026/12/07 12:00:00 [Warning] core: a line of the core's error output\n";
    }
    const LONGLONG piece = std::min<LONGLONG>(size, static_cast<LONGLONG>(text.size()));
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(piece), &written, nullptr) != FALSE;
    LARGE_INTEGER at{};
    at.QuadPart = size - piece;
    ok = ok && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
         WriteFile(file, text.data(), static_cast<DWORD>(piece), &written, nullptr);
    return ok;
}

double MicrosecondsPerRead(const std::wstring& path) {
    std::size_t units = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kReads; ++i) {
        const velk::Win32Result<std::wstring> tail =
            velk::ReadFileTail(path, velk::kErrorLogTailBytes);
        units += tail ? tail.value().size() : 0;
    }
    const double us =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    return units == 0 ? -1 : us / kReads;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: tail_bench <directory>\n");
        return 2;
    }
    const std::wstring directory = std::wstring(argv[1]) + L"\\";
    const std::wstring small = directory + L"tail_10k.log";
    const std::wstring large = directory + L"tail_1g.log";
    if (!MakeLog(small, 10 * 1024) || !MakeLog(large, 1024LL * 1024 * 1024)) {
        std::fwprintf(stderr, L"cannot write the logs in %ls: %lu\n", argv[1], GetLastError());
        return 1;
    }
    MicrosecondsPerRead(small);  // warm-up
    const double smallUs = MicrosecondsPerRead(small);
    const double largeUs = MicrosecondsPerRead(large);
    DeleteFileW(small.c_str());
    DeleteFileW(large.c_str());
    if (smallUs < 0 || largeUs < 0) {
        std::fwprintf(stderr, L"ReadFileTail read nothing\n");
        return 1;
    }
    std::printf("| %-38s | %10.1f | %10.1f | %6.2f | %-8s |\n",
                "ReadFileTail 8 KiB us, 1 GiB vs 10 KiB", largeUs, smallUs, largeUs / smallUs,
                "~1");
    return 0;
}
