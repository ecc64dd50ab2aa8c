#include "service/supervision/command_lines.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

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
        // Nothing in the path is escaped, not even a double quote.
        {L"D:\\svc\\xray.exe", L"x\"y.json", L"\"D:\\svc\\xray.exe\" run -config \"x\"y.json\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComposeCoreCommandLine(c.program, c.config), c.expected) << c.config;
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
