#include "netsteer/probes/command_runner.h"

#include <windows.h>

#include <vector>

#include "common/unique_handle.h"
#include "netsteer/netsteer_constants.h"

namespace netsteer {
namespace {

// A thread attribute list that names the one handle the child may inherit.
// Without it, every inheritable handle of this process would pass to the
// child, and a copy of another pipe's write end held by the child would keep
// that pipe from ever reporting its end.
class InheritOnly {
  public:
    explicit InheritOnly(HANDLE handle) : handles_{handle} {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        if (size == 0) {
            return;
        }
        storage_.resize((size + sizeof(void*) - 1) / sizeof(void*));
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
            return;
        }
        initialized_ = list;
        if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_,
                                      sizeof(handles_), nullptr, nullptr)) {
            list_ = list;
        }
    }
    ~InheritOnly() {
        if (initialized_ != nullptr) {
            DeleteProcThreadAttributeList(initialized_);
        }
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;

    // Null when the list could not be built; the child then inherits every
    // inheritable handle, as a plain CreateProcessW would.
    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return list_; }

  private:
    HANDLE handles_[1];
    std::vector<void*> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST initialized_ = nullptr;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

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

std::wstring RunHiddenCommandLine(const std::wstring& commandLine) {
    SECURITY_ATTRIBUTES inheritable = {};
    inheritable.nLength = sizeof(inheritable);
    inheritable.lpSecurityDescriptor = nullptr;
    inheritable.bInheritHandle = TRUE;

    velk::UniqueHandle readEnd;
    velk::UniqueHandle writeEnd;
    if (!CreatePipe(readEnd.Put(), writeEnd.Put(), &inheritable, 0)) {
        return std::wstring();
    }
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    // CreateProcessW may write into the command line, so it gets a copy.
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');

    InheritOnly inheritOnly(writeEnd.Get());
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof(startup.StartupInfo);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = nullptr;
    startup.StartupInfo.hStdOutput = writeEnd.Get();
    startup.StartupInfo.hStdError = writeEnd.Get();
    DWORD creationFlags = CREATE_NO_WINDOW;
    if (inheritOnly.Get() != nullptr) {
        startup.StartupInfo.cb = sizeof(startup);
        startup.lpAttributeList = inheritOnly.Get();
        creationFlags |= EXTENDED_STARTUPINFO_PRESENT;
    }

    PROCESS_INFORMATION info = {};
    const BOOL started =
        CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, creationFlags, nullptr,
                       nullptr, &startup.StartupInfo, &info);
    // Our copy of the write end goes at once, started or not: the pipe reports
    // its end only when every writer has closed its copy.
    writeEnd.Reset();
    if (!started) {
        return std::wstring();
    }
    velk::UniqueHandle process(info.hProcess);
    velk::UniqueHandle thread(info.hThread);

    std::wstring output = ReadToEnd(readEnd.Get());
    WaitForSingleObject(process.Get(), INFINITE);
    return output;
}

std::wstring RunCommand(const std::wstring& command) {
    return RunHiddenCommandLine(kCommandInterpreterPrefix + command);
}

}  // namespace netsteer
