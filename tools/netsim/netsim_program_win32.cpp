#include "tools/netsim/netsim_program.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>

#include "common/local_memory.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "tools/netsim/netsim_control.h"
#include "tools/netsim/netsim_languages.h"

namespace netsim {
namespace {

constexpr wchar_t kDefaultStatePath[] = L"C:\\ProgramData\\velk-netsim\\machine.txt";
constexpr wchar_t kStatePathVariable[] = L"VELK_NETSIM_STATE";
// One machine lock for every process of the simulator, the service's children included.
constexpr wchar_t kMachineMutexName[] = L"Global\\velk-netsim-machine";
constexpr DWORD kMachineLockWaitMs = 30000;
constexpr int kSaveAttempts = 100;
constexpr DWORD kSaveRetryPauseMs = 20;

std::vector<std::wstring> CommandArguments() {
    std::vector<std::wstring> args;
    int count = 0;
    const velk::UniqueLocal<LPWSTR> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    for (int i = 1; argv && i < count; ++i) {
        args.emplace_back(argv.Get()[i]);
    }
    return args;
}

// Output goes out in the console's code page, as the real tools' does: the
// simulated language's, or else this process's own (the OEM code page when
// it has no console).
std::string ToConsoleBytes(const std::wstring& text, UINT codePage) {
    if (text.empty()) {
        return std::string();
    }
    if (codePage == 0) {
        codePage = GetConsoleOutputCP();
    }
    if (codePage == 0) {
        codePage = GetOEMCP();
    }
    const int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return std::string();
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

void Print(FILE* stream, const std::wstring& text, UINT codePage = 0) {
    const std::string bytes = ToConsoleBytes(text, codePage);
    if (!bytes.empty()) {
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::fflush(stream);
    }
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes, DWORD& error) {
    velk::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = GetLastError();
        return false;
    }
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    return true;
}

void EnsureParentDirectory(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 0) {
        CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    }
}

class MachineLock {
  public:
    MachineLock() : mutex_(CreateMutexW(nullptr, FALSE, kMachineMutexName)) {
        if (mutex_) {
            const DWORD wait = WaitForSingleObject(mutex_.Get(), kMachineLockWaitMs);
            // An owner that died still leaves the file whole (it is replaced by rename).
            held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        }
    }
    ~MachineLock() {
        if (held_) {
            ReleaseMutex(mutex_.Get());
        }
    }
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;
    bool Held() const { return held_; }

  private:
    velk::UniqueHandle mutex_;
    bool held_ = false;
};

}  // namespace

std::wstring StatePath() {
    wchar_t buffer[MAX_PATH];
    const DWORD size = GetEnvironmentVariableW(kStatePathVariable, buffer, MAX_PATH);
    if (size > 0 && size < MAX_PATH) {
        return std::wstring(buffer, size);
    }
    return kDefaultStatePath;
}

bool LoadMachine(const std::wstring& path, Machine& machine, std::wstring& error) {
    std::string bytes;
    DWORD code = 0;
    if (!ReadWholeFile(path, bytes, code)) {
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            std::vector<std::wstring> reset{L"reset"};
            return RunControl(machine, reset).exitCode == 0;
        }
        error = L"cannot open " + path + L" (error " + std::to_wstring(code) + L")";
        return false;
    }
    if (!ParseMachine(velk::Utf8ToWide(bytes), machine, error)) {
        error = path + L": " + error;
        return false;
    }
    return true;
}

bool SaveMachine(const std::wstring& path, const Machine& machine) {
    EnsureParentDirectory(path);
    const std::wstring temporary = path + L".tmp";
    const std::string bytes = velk::WideToUtf8(SerializeMachine(machine));
    {
        velk::UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return false;
        }
        DWORD written = 0;
        if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) ||
            written != bytes.size()) {
            return false;
        }
    }
    // Wine refuses to replace a file that any process still has open, and a
    // process that has just read it may not have let go yet: try again for a
    // while rather than lose the change.
    for (int attempt = 0; attempt < kSaveAttempts; ++attempt) {
        if (MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            return true;
        }
        Sleep(kSaveRetryPauseMs);
    }
    return false;
}

int RunToolProgram(const std::wstring& name, const Tool& tool, bool journaled) {
    // Text mode would turn each CR LF of ours into CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const std::vector<std::wstring> args = CommandArguments();

    ToolResult result;
    int delayMs = 0;
    UINT codePage = 0;
    {
        MachineLock lock;
        if (!lock.Held()) {
            Print(stderr, name + L" (netsim): the machine lock is not free\r\n");
            return 3;
        }
        const std::wstring path = StatePath();
        Machine machine;
        std::wstring error;
        if (!LoadMachine(path, machine, error)) {
            Print(stderr, name + L" (netsim): " + error + L"\r\n");
            return 3;
        }
        if (journaled) {
            machine.journal.push_back(JoinCommandLine(name, args));
        }
        if (!journaled || !TakeInjectedFailure(machine, name, args, result)) {
            result = tool(machine, args);
        }
        if (!SaveMachine(path, machine)) {
            Print(stderr, name + L" (netsim): cannot write " + path + L"\r\n");
            return 3;
        }
        delayMs = journaled ? machine.toolDelayMs : 0;
        codePage = journaled ? LanguageOf(machine).codePage : 0;
    }
    // A slow machine answers late; the lock is free by then, so only this
    // caller waits.
    if (delayMs > 0) {
        Sleep(static_cast<DWORD>(delayMs));
    }
    Print(stdout, result.out, codePage);
    Print(stderr, result.err, codePage);
    return result.exitCode;
}

}  // namespace netsim
