// The command runner for real: Wine's cmd.exe, a real pipe, real children.
#include "netsteer/machine/command_runner.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "tests/support/temp_directory.h"
#include "netsteer/machine/route_command.h"
#include "netsteer/machine/system_commands.h"
#include "netsteer/machine/windows_helper_system.h"

namespace {

// The child program built beside this test program, quoted for cmd.exe.
std::wstring ChildCommand(const std::wstring& arguments) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    directory.resize(directory.find_last_of(L"\\/") + 1);
    return L"\"" + directory + L"probe_child.exe\" " + arguments;
}

// What "probe_child spew <count>" prints, as text.
std::wstring ExpectedSpew(std::size_t count) {
    std::wstring text;
    text.reserve(count + 64);
    for (unsigned n = 0; text.size() < count; ++n) {
        wchar_t line[64];
        swprintf(line, 64, L"%09u abcdefghijklmnopqrstuvwxyz\r\n", n);
        text += line;
    }
    text.resize(count);
    return text;
}

// What a command that could run printed.
std::wstring Output(const std::wstring& command) {
    velk::Win32Result<std::wstring> output = netsteer::RunCommand(command);
    EXPECT_TRUE(output.ok()) << "could not run: " << command.size();
    return output ? output.value() : std::wstring();
}

TEST(RunCommandTest, StandardOutputAndErrorArriveInOneTextInWriteOrder) {
    EXPECT_EQ(Output(ChildCommand(L"interleave")),
              L"out 1\r\nerr 2\r\nout 3\r\nerr 4\r\nout 5\r\n");
}

TEST(RunCommandTest, CommandInterpreterBuiltinsWriteToBothStreams) {
    // cmd's own echo: the blank before each "&" belongs to the echoed text.
    EXPECT_EQ(Output(L"echo a& echo b 1>&2& echo c"), L"a\r\nb \r\nc\r\n");
}

TEST(RunCommandTest, OutputFarLargerThanThePipeBufferIsCollectedWhole) {
    // Several megabytes; a runner that waited for the child before reading
    // would hang here with the child blocked on a full pipe.
    const std::size_t size = 6 * 1024 * 1024 + 123;
    const std::wstring output = Output(ChildCommand(L"spew " + std::to_wstring(size)));
    ASSERT_EQ(output.size(), size);
    EXPECT_TRUE(output == ExpectedSpew(size));
}

TEST(RunCommandTest, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    // "Ständige" in code page 850, then valid UTF-8 "ü".
    EXPECT_EQ(Output(ChildCommand(L"hex 5374846e64696765c3bc0d0a")), L"St\xFFFDndige\x00FC\r\n");
}

TEST(RunCommandTest, ZeroByteEndsTheConversionOfItsChunk) {
    EXPECT_EQ(Output(ChildCommand(L"hex 6162630064656667")), L"abc");
}

TEST(RunCommandTest, CommandThatPrintsNothingGivesEmptyText) {
    EXPECT_EQ(Output(L"rem nothing to say"), L"");
    EXPECT_EQ(Output(ChildCommand(L"spew 0")), L"");
}

TEST(RunCommandTest, MissingProgramGivesTheInterpretersMessage) {
    // cmd.exe starts and reports the missing program on standard error.
    const std::wstring output = Output(L"velk_no_such_program_4711 --now");
    EXPECT_NE(output.find(L"velk_no_such_program_4711"), std::wstring::npos)
        << "got: " << output.size();
}

TEST(RunCommandTest, InterpreterThatCannotStartGivesTheFailedCallAndItsCode) {
    for (const wchar_t* line : {L"velk_missing_interpreter_4711.exe /C echo x", L""}) {
        const velk::Win32Result<std::wstring> output = netsteer::RunHiddenCommandLine(line);
        ASSERT_FALSE(output.ok());
        EXPECT_STREQ(output.error().call, L"CreateProcessW");
        EXPECT_NE(output.error().code, 0u);
    }
}

// An inheritable write end that the test holds while a command runs. If the
// child inherited it, "leaked" would arrive in this pipe.
struct ForeignPipe {
    velk::UniqueHandle readEnd;
    velk::UniqueHandle writeEnd;
    ForeignPipe() {
        SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
        CreatePipe(readEnd.Put(), writeEnd.Put(), &inheritable, 0);
    }
    DWORD Available() {
        DWORD available = 0;
        PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &available, nullptr);
        return available;
    }
    std::wstring HandleValue() {
        return std::to_wstring(reinterpret_cast<std::uintptr_t>(writeEnd.Get()));
    }
};

TEST(RunCommandTest, ChildInheritsOnlyTheOutputPipe) {
    ForeignPipe foreign;
    ASSERT_TRUE(foreign.writeEnd.Valid());
    Output(ChildCommand(L"write-handle " + foreign.HandleValue()));
    EXPECT_EQ(foreign.Available(), 0u);
}

TEST(RunCommandTest, InheritanceCheckDetectsAnInheritedHandle) {
    // The same child started with plain inheritance does reach the pipe, so
    // the check above can fail.
    ForeignPipe foreign;
    ASSERT_TRUE(foreign.writeEnd.Valid());
    std::wstring line = L"cmd.exe /C " + ChildCommand(L"write-handle " + foreign.HandleValue());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &info));
    velk::UniqueHandle process(info.hProcess);
    velk::UniqueHandle thread(info.hThread);
    WaitForSingleObject(process.Get(), INFINITE);
    EXPECT_EQ(foreign.Available(), 6u);
}

// The highest of the next 64 handle values this process would get. The
// handle table hands out its lowest free slots, so any handle left open in
// between raises it. (Wine's GetProcessHandleCount always reports 0.)
std::uintptr_t HighestOfNextHandles() {
    velk::UniqueHandle probes[64];
    std::uintptr_t highest = 0;
    for (velk::UniqueHandle& probe : probes) {
        probe.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        highest = std::max(highest, reinterpret_cast<std::uintptr_t>(probe.Get()));
    }
    return highest;
}

TEST(RunCommandTest, RepeatedRunsLeaveNoHandleOpen) {
    Output(L"echo warm-up");
    const std::uintptr_t before = HighestOfNextHandles();
    for (int i = 0; i < 10; ++i) {
        Output(L"echo x");
        Output(ChildCommand(L"interleave"));
    }
    EXPECT_FALSE(netsteer::RunHiddenCommandLine(L"velk_missing_interpreter_4711.exe").ok());
    EXPECT_EQ(HighestOfNextHandles(), before);

    // The probe notices one handle left open.
    velk::UniqueHandle leaked(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    EXPECT_GT(HighestOfNextHandles(), before);
}

TEST(WindowsHelperSystemTest, RunsThroughTheCommandInterpreter) {
    netsteer::WindowsHelperSystem system;
    EXPECT_EQ(netsteer::PrintedText(system.RunCommand(L"echo probe")), L"probe\r\n");
}

// This test program's own folder, with its trailing backslash.
std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    directory.resize(directory.find_last_of(L"\\/") + 1);
    return directory;
}

// Copies of the probe child named as the tools, in a folder put first on this
// process's search path; the runner's children inherit it.
class DecoyTools {
  public:
    DecoyTools() {
        const std::wstring probe = ProgramDirectory() + L"probe_child.exe";
        for (const wchar_t* tool : {L"route.exe", L"netsh.exe", L"powershell.exe"}) {
            copied_ = copied_ && CopyFileW(probe.c_str(), (folder_.Path() + tool).c_str(), TRUE);
        }
        const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
        savedPath_.resize(size);
        savedPath_.resize(GetEnvironmentVariableW(L"PATH", &savedPath_[0], size));
        SetEnvironmentVariableW(L"PATH", (folder_.Path() + L";" + savedPath_).c_str());
    }
    ~DecoyTools() { SetEnvironmentVariableW(L"PATH", savedPath_.c_str()); }
    DecoyTools(const DecoyTools&) = delete;
    DecoyTools& operator=(const DecoyTools&) = delete;
    bool Copied() const { return copied_; }

  private:
    velk::testing::TempDirectory folder_;
    std::wstring savedPath_;
    bool copied_ = true;
};

TEST(WindowsHelperSystemTest, ToolsStartFromTheSystemFolderWhateverComesFirstOnThePath) {
    DecoyTools decoys;
    ASSERT_TRUE(decoys.Copied());
    const std::wstring decoyRan = L"probe_child ran";
    // Started by search, the decoys do run: the check below can fail.
    for (const wchar_t* searched : {L"route print -4", L"powershell -NoProfile -Command x"}) {
        const velk::Win32Result<std::wstring> found =
            netsteer::RunHiddenCommandLine(std::wstring(L"cmd.exe /C ") + searched);
        ASSERT_TRUE(found.ok());
        EXPECT_NE(found.value().find(decoyRan), std::wstring::npos) << velk::WideToUtf8(searched);
    }
    netsteer::WindowsHelperSystem system;
    const std::wstring commands[] = {
        // Only commands that change nothing, should a simulator be in place.
        netsteer::RoutePrintCommand(), netsteer::ShowInterfacesCommand(),
        netsteer::InterfaceAddressesQueryCommand(12), L"echo interpreter"};
    for (const std::wstring& command : commands) {
        const velk::Win32Result<std::wstring> output = system.RunCommand(command);
        ASSERT_TRUE(output.ok()) << velk::WideToUtf8(command);
        EXPECT_EQ(output.value().find(decoyRan), std::wstring::npos)
            << velk::WideToUtf8(command) << ": " << velk::WideToUtf8(output.value());
    }
    EXPECT_EQ(netsteer::PrintedText(system.RunCommand(L"echo interpreter")), L"interpreter\r\n");
}

TEST(DecodeAnsiCodePageTest, DecodesBytesOfTheAnsiCodePage) {
    // Under Wine's default code page 1252, 0xE9 is e with acute.
    if (GetACP() == 1252) {
        EXPECT_EQ(netsteer::DecodeAnsiCodePage("caf\xE9"), L"caf\x00E9");
    }
    EXPECT_EQ(netsteer::DecodeAnsiCodePage("plain"), L"plain");
    EXPECT_EQ(netsteer::DecodeAnsiCodePage(""), L"");
}

}  // namespace
