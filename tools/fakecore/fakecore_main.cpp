// fakecore: a stand-in for the proxy core xray.exe in tests and demos.
//
//   xray.exe run -config "<path>"
//
// The file at <path> says what to do: a JSON object, whose "stats" object's
// "fakecore" member holds the settings below (the service passes on only the
// top-level keys it reviewed, and the real core's "stats" object has no
// fields, so it ignores this one; a repeatable setting as an array of
// strings, numbers as JSON numbers) and whose "log" object's "access" and "error" name files
// that get one line each at start, resolved as the real core resolves them
// (against the working directory; "" and "none" for no file). A file that
// does not start with "{" is read the old way, one key=value per line ("#"
// starts a comment line; blank lines are skipped; keys may repeat where noted):
//
//   stdout=<text>          write <text> and a line feed to standard output
//                          at start (repeatable, in order)
//   stderr=<text>          the same to standard error
//   pid_file=<path>        write this process's id (decimal) to <path> at start
//   spawn=<command line>   start that command line hidden, without inherited
//                          handles, and do not wait for it (repeatable)
//   marker_file=<path>     write "pid=<id>", "config=<path>" and
//                          "digest=<FNV-1a 64 of the config's bytes, hex>"
//                          lines to <path>, then "env=<NAME>=<value>" for
//                          each variable of its environment, in order
//   marker_after_ms=<n>    ... that many ms after start (default 0)
//   exit_after_ms=<n>      exit that many ms after start; without it the
//                          program runs until it is terminated
//   exit_code=<n>          the exit code for exit_after_ms (default 0, any
//                          32-bit unsigned value)
//
// A config file that cannot be read, or holds an unknown key or a bad number,
// is reported on standard error and ends the program at once with exit code
// 23, as the real core does for a configuration it cannot load. A wrong command
// line is reported with usage and exit code 2; started from Explorer (no
// arguments, alone on its console) it shows the usage until Enter is pressed.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/local_memory.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "tools/config_text.h"

#include <nlohmann/json.hpp>

namespace {

constexpr int kConfigErrorCode = 23;
constexpr int kUsageErrorCode = 2;

struct CoreConfig {
    std::vector<std::wstring> stdoutLines;
    std::vector<std::wstring> stderrLines;
    std::wstring pidFile;
    std::vector<std::wstring> spawns;
    std::wstring markerFile;
    std::uint32_t markerAfterMs = 0;
    bool exits = false;
    std::uint32_t exitAfterMs = 0;
    std::uint32_t exitCode = 0;
    std::vector<std::wstring> logFiles;
};

void WriteText(DWORD stdHandle, const std::wstring& text) {
    const std::string bytes = velk::WideToUtf8(text + L"\n");
    const HANDLE handle = GetStdHandle(stdHandle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool WriteWholeFile(const std::wstring& path, const std::wstring& text) {
    velk::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    const std::string bytes = velk::WideToUtf8(text);
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    velk::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file.Get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        bytes.append(chunk, read);
    }
    return true;
}

// Returns an empty text on success, else what is wrong.
std::wstring ParseConfig(const std::string& bytes, CoreConfig& config) {
    const std::wstring text = velk::Utf8ToWide(bytes);
    for (const velk::tools::ConfigLine& configLine : velk::tools::ConfigLines(text)) {
        const std::wstring& line = configLine.text;
        const int lineNumber = configLine.number;
        const std::size_t equals = line.find(L'=');
        if (equals == std::wstring::npos) {
            return L"line " + std::to_wstring(lineNumber) + L" has no '='";
        }
        const std::wstring key = line.substr(0, equals);
        const std::wstring value = line.substr(equals + 1);
        bool numberOk = true;
        if (key == L"stdout") {
            config.stdoutLines.push_back(value);
        } else if (key == L"stderr") {
            config.stderrLines.push_back(value);
        } else if (key == L"pid_file") {
            config.pidFile = value;
        } else if (key == L"spawn") {
            config.spawns.push_back(value);
        } else if (key == L"marker_file") {
            config.markerFile = value;
        } else if (key == L"marker_after_ms") {
            numberOk = velk::tools::ParseUint32(value, config.markerAfterMs);
        } else if (key == L"exit_after_ms") {
            config.exits = true;
            numberOk = velk::tools::ParseUint32(value, config.exitAfterMs);
        } else if (key == L"exit_code") {
            numberOk = velk::tools::ParseUint32(value, config.exitCode);
        } else {
            return L"unknown key '" + key + L"' on line " + std::to_wstring(lineNumber);
        }
        if (!numberOk) {
            return L"bad number '" + value + L"' on line " + std::to_wstring(lineNumber);
        }
    }
    return {};
}

// The JSON form as key=value lines for ParseConfig, and the log files it
// names. Returns an empty text on success, else what is wrong.
std::wstring TranslateJson(const std::string& bytes, std::string& lines,
                           std::vector<std::wstring>& logFiles) {
    const nlohmann::json root = nlohmann::json::parse(bytes, nullptr, false, true);
    if (!root.is_object()) {
        return L"not a JSON object";
    }
    const auto stats = root.find("stats");
    const nlohmann::json* knobs = nullptr;
    if (stats != root.end() && stats->is_object() && stats->contains("fakecore")) {
        knobs = &stats->at("fakecore");
    }
    if (knobs != nullptr && knobs->is_object()) {
        for (const auto& [key, value] : knobs->items()) {
            const nlohmann::json values = value.is_array() ? value : nlohmann::json::array({value});
            for (const nlohmann::json& item : values) {
                lines +=
                    key + "=" + (item.is_string() ? item.get<std::string>() : item.dump()) + "\n";
            }
        }
    }
    const auto log = root.find("log");
    if (log != root.end() && log->is_object()) {
        for (const char* name : {"access", "error"}) {
            const auto file = log->find(name);
            if (file != log->end() && file->is_string() && !file->get<std::string>().empty() &&
                file->get<std::string>() != "none") {
                logFiles.push_back(velk::Utf8ToWide(file->get<std::string>()));
            }
        }
    }
    return {};
}

// FNV-1a, 64 bits, in hex: enough to tell which bytes were read.
// "env=NAME=value" lines, one for each variable this process was given.
std::wstring EnvironmentLines() {
    const velk::UniqueEnvironmentStrings block(GetEnvironmentStringsW());
    std::wstring lines;
    for (const wchar_t* entry = block.Get(); entry != nullptr && *entry != L'\0';
         entry += std::wcslen(entry) + 1) {
        lines += L"env=" + std::wstring(entry) + L"\r\n";
    }
    return lines;
}

std::wstring Digest(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char byte : bytes) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ull;
    }
    wchar_t text[17] = {};
    std::swprintf(text, 17, L"%016llx", static_cast<unsigned long long>(hash));
    return text;
}

bool AppendLine(const std::wstring& path, const std::wstring& line) {
    velk::UniqueHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string bytes = velk::WideToUtf8(line + L"\n");
    DWORD written = 0;
    return file &&
           WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Spawn(const std::wstring& commandLine) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
        WriteText(STD_ERROR_HANDLE, L"fakecore: cannot start: " + commandLine);
        return;
    }
    // Not waited for: the handles only go.
    velk::TakeProcessHandles(info);
}

bool AloneOnConsole() {
    DWORD processes[2] = {};
    return GetConsoleWindow() != nullptr && GetConsoleProcessList(processes, 2) == 1;
}

int Usage(bool interactive) {
    const wchar_t* text =
        L"fakecore, a stand-in for the proxy core.\n"
        L"Usage: xray.exe run -config \"<path>\"\n"
        L"The config file is JSON: {\"fakecore\": {settings}, \"log\": {\"access\": ...,\n"
        L"\"error\": ...}}, or key=value lines. Settings: stdout, stderr, pid_file,\n"
        L"spawn, marker_file, marker_after_ms, exit_after_ms, exit_code.";
    if (interactive) {
        WriteText(STD_OUTPUT_HANDLE, text);
        WriteText(STD_OUTPUT_HANDLE, L"Press Enter to close.");
        std::getchar();
        return kUsageErrorCode;
    }
    WriteText(STD_ERROR_HANDLE, text);
    return kUsageErrorCode;
}

int Run(const std::wstring& configPath) {
    std::string bytes;
    if (!ReadWholeFile(configPath, bytes)) {
        WriteText(STD_ERROR_HANDLE, L"fakecore: cannot read config file: " + configPath);
        return kConfigErrorCode;
    }
    CoreConfig config;
    std::string lines = bytes;
    const std::size_t first = bytes.find_first_not_of(" \t\r\n");
    std::wstring problem;
    if (first != std::string::npos && bytes[first] == '{') {
        lines.clear();
        problem = TranslateJson(bytes, lines, config.logFiles);
    }
    if (problem.empty()) {
        problem = ParseConfig(lines, config);
    }
    if (!problem.empty()) {
        WriteText(STD_ERROR_HANDLE, L"fakecore: " + configPath + L": " + problem);
        return kConfigErrorCode;
    }

    const std::wstring pid = std::to_wstring(GetCurrentProcessId());
    if (!config.pidFile.empty()) {
        WriteWholeFile(config.pidFile, pid);
    }
    for (const std::wstring& line : config.stdoutLines) {
        WriteText(STD_OUTPUT_HANDLE, line);
    }
    for (const std::wstring& line : config.stderrLines) {
        WriteText(STD_ERROR_HANDLE, line);
    }
    for (const std::wstring& logFile : config.logFiles) {
        if (!AppendLine(logFile, L"fakecore log line, pid " + pid)) {
            WriteText(STD_ERROR_HANDLE, L"fakecore: cannot write log file: " + logFile);
        }
    }
    for (const std::wstring& commandLine : config.spawns) {
        Spawn(commandLine);
    }

    const ULONGLONG started = GetTickCount64();
    auto sleepUntil = [started](DWORD offsetMs) {
        const ULONGLONG now = GetTickCount64();
        if (now - started < offsetMs) {
            Sleep(static_cast<DWORD>(offsetMs - (now - started)));
        }
    };
    const bool markerFirst =
        !config.markerFile.empty() && (!config.exits || config.markerAfterMs <= config.exitAfterMs);
    if (markerFirst) {
        sleepUntil(config.markerAfterMs);
        WriteWholeFile(config.markerFile, L"pid=" + pid + L"\r\nconfig=" + configPath +
                                              L"\r\ndigest=" + Digest(bytes) + L"\r\n" +
                                              EnvironmentLines());
    }
    if (config.exits) {
        sleepUntil(config.exitAfterMs);
        return static_cast<int>(config.exitCode);
    }
    for (;;) {
        Sleep(INFINITE);
    }
}

}  // namespace

int main() {
    int count = 0;
    const velk::UniqueLocal<LPWSTR> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!arguments) {
        return kUsageErrorCode;
    }
    const std::vector<std::wstring> args(arguments.Get(), arguments.Get() + count);

    if (count == 4 && args[1] == L"run" && args[2] == L"-config") {
        const int code = Run(args[3]);
        ExitProcess(static_cast<UINT>(code));
    }
    return Usage(count == 1 && AloneOnConsole());
}
