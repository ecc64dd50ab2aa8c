#include "netsteer/machine/tool_command.h"

#include <gtest/gtest.h>

#include "netsteer/machine/system_commands.h"

namespace {

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(InterpreterRunTest, ToolsStartFromTheSystemFolderThroughItsInterpreter) {
    struct Case {
        std::wstring command;
        std::wstring systemDirectory;
        std::wstring program;
        std::wstring commandLine;
    };
    const std::wstring sys = L"C:\\Windows\\system32";
    const std::wstring cmd = L"\"C:\\Windows\\system32\\cmd.exe\" /S /C ";
    const Case cases[] = {
        {netsteer::RoutePrintCommand(), sys, sys + L"\\cmd.exe",
         cmd + L"\"\"C:\\Windows\\system32\\route.exe\" print -4\""},
        {netsteer::ShowInterfacesCommand(), sys, sys + L"\\cmd.exe",
         cmd + L"\"\"C:\\Windows\\system32\\netsh.exe\" interface ipv4 show interfaces\""},
        // PowerShell is not in the system folder itself; the query's own
        // quotes stay inside the outer pair that /S drops.
        {netsteer::InterfaceAddressesQueryCommand(7), sys, sys + L"\\cmd.exe",
         cmd +
             L"\"\"C:\\Windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe\" -NoProfile "
             L"-WindowStyle Hidden -Command \"Get-NetIPAddress -AddressFamily IPv4 -InterfaceIndex "
             L"7 -ErrorAction SilentlyContinue | Select-Object -ExpandProperty IPAddress\"\""},
        {netsteer::FlushDnsCommand(), sys, sys + L"\\cmd.exe",
         cmd + L"\"\"C:\\Windows\\system32\\ipconfig.exe\" /flushdns\""},
        {L"NETSH x", sys, sys + L"\\cmd.exe", cmd + L"\"\"C:\\Windows\\system32\\netsh.exe\" x\""},
        // A tool alone, and a system folder with a blank and a trailing
        // backslash: one separator, every path quoted.
        {L"route", L"D:\\Win Dir\\System32\\", L"D:\\Win Dir\\System32\\cmd.exe",
         L"\"D:\\Win Dir\\System32\\cmd.exe\" /S /C \"\"D:\\Win Dir\\System32\\route.exe\"\""},
        // Words that only look like a tool, the interpreter's own commands and
        // a quoted program are left as they are.
        {L"routes print", sys, sys + L"\\cmd.exe", cmd + L"\"routes print\""},
        {L"echo a& echo b", sys, sys + L"\\cmd.exe", cmd + L"\"echo a& echo b\""},
        {L"\"C:\\t\\probe.exe\" x", sys, sys + L"\\cmd.exe", cmd + L"\"\"C:\\t\\probe.exe\" x\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.command));
        const netsteer::InterpreterRun run =
            netsteer::InterpreterRunFor(c.command, c.systemDirectory);
        EXPECT_EQ(run.program, c.program);
        EXPECT_EQ(run.commandLine, c.commandLine);
    }
}

// Only a moment's want is worth a second start; a program that is not
// there, or may not be run, never comes by trying again.
TEST(InterpreterRunTest, OnlyAPassingWantStartsTheToolAgain) {
    const struct {
        std::uint32_t code;
        bool passing;
    } cases[] = {
        {8, true},      // ERROR_NOT_ENOUGH_MEMORY
        {1359, true},   // ERROR_INTERNAL_ERROR, Wine under load
        {1450, true},   // ERROR_NO_SYSTEM_RESOURCES
        {1816, true},   // ERROR_NOT_ENOUGH_QUOTA
        {0, false},     //
        {2, false},     // ERROR_FILE_NOT_FOUND
        {3, false},     // ERROR_PATH_NOT_FOUND
        {5, false},     // ERROR_ACCESS_DENIED
        {193, false},   // ERROR_BAD_EXE_FORMAT
        {1260, false},  // ERROR_ACCESS_DISABLED_BY_POLICY
    };
    for (const auto& c : cases) {
        EXPECT_EQ(netsteer::IsPassingStartFailure(c.code), c.passing) << c.code;
    }
}

}  // namespace
