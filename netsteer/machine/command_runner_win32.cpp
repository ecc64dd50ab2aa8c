#include "netsteer/machine/command_runner.h"

#include <windows.h>

#include <vector>

#include "common/inherit_handle_list.h"
#include "common/system_folders.h"
#include "common/unique_handle.h"
#include "netsteer/netsteer_constants.h"
#include "netsteer/machine/output_chunk.h"
#include "netsteer/machine/tool_command.h"

namespace netsteer {
namespace {

// Reads the pipe to its end. The child can only finish once everything it
// wrote has been read, so reading comes before the wait, never after it.
std::wstring ReadToEnd(HANDLE readEnd) {
    std::wstring output;
    char buffer[kCommandReadChunkBytes + 1];
    for (;;) {
        DWORD bytesRead = 0;
        if (!ReadFile(readEnd, buffer, static_cast<DWORD>(kCommandReadChunkBytes), &bytesRead,
                      nullptr) ||
            bytesRead == 0) {
            break;
        }
        buffer[bytesRead] = '\0';
        output += DecodeOutputChunk(buffer, bytesRead, DecodeAnsiCodePage);
    }
    return output;
}

}  // namespace

std::wstring DecodeAnsiCodePage(const std::string& bytes) {
    const int needed = MultiByteToWideChar(CP_ACP, 0, bytes.c_str(), -1, nullptr, 0);
    if (needed <= 1) {
        return std::wstring();
    }
    std::wstring text(static_cast<std::size_t>(needed), L'\0');
    const int written = MultiByteToWideChar(CP_ACP, 0, bytes.c_str(), -1, &text[0], needed);
    if (written <= 1) {
        return std::wstring();
    }
    text.resize(static_cast<std::size_t>(written - 1));  // without the terminator
    return text;
}

// Runs commandLine hidden; `program`, when not empty, is the application name,
// so that no search decides which program runs.
velk::Win32Result<std::wstring> RunHidden(const std::wstring& program,
                                          const std::wstring& commandLine) {
    SECURITY_ATTRIBUTES inheritable = {};
    inheritable.nLength = sizeof(inheritable);
    inheritable.lpSecurityDescriptor = nullptr;
    inheritable.bInheritHandle = TRUE;

    velk::UniqueHandle readEnd;
    velk::UniqueHandle writeEnd;
    if (!CreatePipe(readEnd.Put(), writeEnd.Put(), &inheritable, 0)) {
        return velk::LastError(L"CreatePipe");
    }
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    // The child inherits the write end and nothing else.
    velk::InheritHandleList inheritOnly({writeEnd.Get()});
    STARTUPINFOEXW startup;
    const DWORD creationFlags =
        velk::PrepareHiddenStartup(inheritOnly, nullptr, writeEnd.Get(), &startup);

    PROCESS_INFORMATION info = {};
    for (int attempt = 1;; ++attempt) {
        // CreateProcessW may write into the command line, so each try gets a copy.
        std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
        mutableLine.push_back(L'\0');
        if (CreateProcessW(program.empty() ? nullptr : program.c_str(), mutableLine.data(), nullptr,
                           nullptr, TRUE, creationFlags, nullptr, nullptr, &startup.StartupInfo,
                           &info)) {
            break;
        }
        const velk::Win32Error failure = velk::LastError(L"CreateProcessW");
        if (attempt == kCommandStartAttempts || !IsPassingStartFailure(failure.code)) {
            return failure;
        }
        Sleep(kCommandStartRetryPauseMs);
    }
    // Our copy of the write end goes at once: the pipe reports its end only
    // when every writer has closed its copy.
    writeEnd.Reset();
    const velk::ProcessHandles child = velk::TakeProcessHandles(info);

    std::wstring output = ReadToEnd(readEnd.Get());
    WaitForSingleObject(child.process.Get(), INFINITE);
    return output;
}

velk::Win32Result<std::wstring> RunHiddenCommandLine(const std::wstring& commandLine) {
    return RunHidden(std::wstring(), commandLine);
}

velk::Win32Result<std::wstring> RunCommand(const std::wstring& command) {
    const velk::Win32Result<std::wstring> systemDirectory = velk::SystemDirectory();
    if (!systemDirectory) {
        return systemDirectory.error();
    }
    const InterpreterRun run = InterpreterRunFor(command, systemDirectory.value());
    return RunHidden(run.program, run.commandLine);
}

}  // namespace netsteer
