#include "service/supervision/command_lines.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include <vector>
#endif

namespace velk {
namespace {

#ifdef _WIN32
// How the core will see its command line: the Windows argument rules.
std::vector<std::wstring> ArgumentsOf(const std::wstring& commandLine) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(commandLine.c_str(), &count);
    std::vector<std::wstring> arguments(argv, argv + (argv != nullptr ? count : 0));
    LocalFree(argv);
    return arguments;
}
#endif

TEST(CommandLinesTest, CoreCommandLineQuotesProgramAndConfigOnly) {
    struct Case {
        const wchar_t* program;
        const wchar_t* config;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"C:\\Program Files\\Velk\\xray.exe", L"C:\\cfg\\my config.json",
         L"\"C:\\Program Files\\Velk\\xray.exe\" run -config \"C:\\cfg\\my config.json\""},
        // No separator in the service path: the bare program name.
        {L"xray.exe", L"a.json", L"\"xray.exe\" run -config \"a.json\""},
        // Backslashes inside the path stay single; those before the closing
        // quote are doubled, or the quote would be taken as text.
        {L"D:\\svc\\xray.exe", L"C:\\cfg\\", L"\"D:\\svc\\xray.exe\" run -config \"C:\\cfg\\\\\""},
        {L"xray.exe", L"\\\\srv\\share\\\\",
         L"\"xray.exe\" run -config \"\\\\srv\\share\\\\\\\\\""},
        {L"xray.exe", L"", L"\"xray.exe\" run -config \"\""},
    };
    for (const Case& c : cases) {
        const std::wstring line = ComposeCoreCommandLine(c.program, c.config);
        EXPECT_EQ(line, c.expected) << c.config;
#ifdef _WIN32
        EXPECT_EQ(ArgumentsOf(line),
                  (std::vector<std::wstring>{c.program, L"run", L"-config", c.config}))
            << c.config;
#endif
    }
}

TEST(CommandLinesTest, HelperCommandLineQuotesTheProgramAndKeepsTheArguments) {
    EXPECT_EQ(ComposeHelperCommandLine(L"C:\\Velk VPN\\netsteer.exe", L"start \"203.0.113.7\""),
              L"\"C:\\Velk VPN\\netsteer.exe\" start \"203.0.113.7\"");
    EXPECT_EQ(ComposeHelperCommandLine(L"netsteer.exe", L""), L"\"netsteer.exe\" ");
}

TEST(CommandLinesTest, TailStartOffsetKeepsAtMostMaxBytes) {
    struct Case {
        std::int64_t size;
        std::int64_t maxBytes;
        std::int64_t start;
    };
    const Case cases[] = {
        {10000, 8192, 1808}, {8193, 8192, 1}, {8192, 8192, 0}, {5000, 8192, 0},
        {0, 8192, 0},        {100, 0, 100},   {100, -5, 100},  {5000000000LL, 8192, 4999991808LL},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TailStartOffset(c.size, c.maxBytes), c.start)
            << "size " << c.size << ", max " << c.maxBytes;
    }
}

}  // namespace
}  // namespace velk
