#include "service/supervision/command_lines.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "common/local_memory.h"
#endif

namespace velk {
namespace {

#ifdef _WIN32
// How the core will see its command line: the Windows argument rules.
std::vector<std::wstring> ArgumentsOf(const std::wstring& commandLine) {
    int count = 0;
    const UniqueLocal<LPWSTR> argv(CommandLineToArgvW(commandLine.c_str(), &count));
    return std::vector<std::wstring>(argv.Get(), argv.Get() + (argv ? count : 0));
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

// What netsteer receives: the program, then the service's arguments split the
// way the Windows C runtime splits them (checked where it is at hand).
TEST(CommandLinesTest, HelperGetsTheProgramAndTheArgumentsAsGiven) {
    struct Case {
        const wchar_t* program;
        const wchar_t* arguments;
        std::vector<std::wstring> received;  // after the program name
    };
    const Case cases[] = {
        {L"C:\\Velk VPN\\netsteer.exe", L"start \"203.0.113.7\"", {L"start", L"203.0.113.7"}},
        {L"netsteer.exe", L"stop \"vpn.example.com\"", {L"stop", L"vpn.example.com"}},
        {L"netsteer.exe", L"", {}},
    };
    for (const Case& c : cases) {
        const std::wstring line = ComposeHelperCommandLine(c.program, c.arguments);
        EXPECT_EQ(line, L"\"" + std::wstring(c.program) + L"\" " + c.arguments);
#ifdef _WIN32
        std::vector<std::wstring> expected{c.program};
        expected.insert(expected.end(), c.received.begin(), c.received.end());
        EXPECT_EQ(ArgumentsOf(line), expected) << c.arguments;
#endif
    }
}

}  // namespace
}  // namespace velk
