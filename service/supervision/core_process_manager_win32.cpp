#include "service/supervision/core_process_manager.h"

#include <utility>
#include <vector>

#include "common/inherit_handle_list.h"
#include "common/process_status.h"
#include "common/trusted_path.h"
#include "common/wide_text.h"
#include "service/supervision/command_lines.h"

namespace velk {
namespace {

bool IsInheritable(HANDLE handle) {
    DWORD flags = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetHandleInformation(handle, &flags) && (flags & HANDLE_FLAG_INHERIT) != 0;
}

}  // namespace

CoreProcessManager::CoreProcessManager(CoreProcessSettings settings)
    : settings_(std::move(settings)) {}

void CoreProcessManager::Log(const std::wstring& message) const {
    if (settings_.log) {
        settings_.log(message);
    }
}

void CoreProcessManager::EmptySlot() {
    slot_.thread.Reset();
    slot_.process.Reset();
    slot_.job.Reset();
    slot_.processId = 0;
    slot_.threadId = 0;
    slot_.running = false;
}

OpResult CoreProcessManager::StartXray(const std::wstring& configPath) {
    std::lock_guard<std::mutex> lock(xrayMutex);

    if (slot_.running) {
        if (IsRunning(slot_.process.Get())) {
            Log(L"[XRAY] xray.exe already running.");
            return {true, 0};
        }
        EmptySlot();
    }

    // No Windows file name holds a double quote, and one would end the
    // quoted path early and let the rest reach the core as arguments.
    if (configPath.find(L'"') != std::wstring::npos) {
        Log(L"[XRAY] config path refused (holds a double quote): " + configPath);
        return {false, ERROR_INVALID_PARAMETER};
    }

    const std::wstring directory =
        settings_.programDirectory ? settings_.programDirectory() : std::wstring();
    const std::wstring commandLine =
        ComposeCoreCommandLine(directory + kCoreProgramName, configPath);
    std::vector<wchar_t> commandBuffer(commandLine.begin(), commandLine.end());
    commandBuffer.push_back(L'\0');

    // A directory that could not be made shows up as a failed log open below.
    const Win32Result<DirectoryCheck> data =
        EnsureTrustedDirectory(settings_.dataDirectory, kDataDirectorySddl);
    if (!data) {
        Log(L"[XRAY] data directory: " + FailureText(data.error()));
    } else if (data.value() == DirectoryCheck::kRefused) {
        Log(L"[XRAY] data directory refused (a link or not ours): " + settings_.dataDirectory);
        return {false, ERROR_ACCESS_DENIED};
    }

    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = sizeof(inheritable);
    inheritable.bInheritHandle = TRUE;
    UniqueHandle log(CreateFileW(settings_.runtimeLogPath.c_str(),
                                 FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | kOpenLinkItself, nullptr));
    if (!log) {
        // The response carries the code; this failure has no log line of its own.
        return FailedOp(LastError(L"CreateFileW"));
    }
    // The core's output would otherwise go, as SYSTEM, wherever a link at the
    // log's path points.
    if (!IsFileAtPath(log.Get(), settings_.runtimeLogPath)) {
        log.Reset();
        Log(L"[XRAY] runtime log refused (a link or not at its path): " + settings_.runtimeLogPath);
        return {false, ERROR_ACCESS_DENIED};
    }
    SetFilePointer(log.Get(), 0, nullptr, FILE_END);

    Win32Result<UniqueHandle> job = settings_.makeJob();
    if (!job) {
        log.Reset();
        Log(L"[XRAY] " + FailureText(job.error()));
        return FailedOp(job.error());
    }

    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::vector<HANDLE> inherited{log.Get()};
    if (IsInheritable(input) && input != log.Get()) {
        inherited.push_back(input);
    }
    // Only these, so that a handle another thread made inheritable at the same
    // moment does not leak into the core.
    // Where the system can, the core is created inside its job, so that no
    // moment exists in which the service could die and leave it outside.
    InheritHandleList inheritList(inherited, job.value().Get());
    STARTUPINFOEXW startup;
    const DWORD flags = PrepareHiddenStartup(inheritList, input, log.Get(), &startup);

    // Suspended until it is in the job, so that it never runs outside it.
    // Before Windows 10 it is put there after its creation.
    PROCESS_INFORMATION info{};
    const BOOL created = CreateProcessW(
        nullptr, commandBuffer.data(), nullptr, nullptr, TRUE, flags | CREATE_SUSPENDED, nullptr,
        directory.empty() ? nullptr : directory.c_str(), &startup.StartupInfo, &info);
    if (!created) {
        const Win32Error error = LastError(L"CreateProcessW");
        log.Reset();
        Log(L"[XRAY] " + FailureText(error));
        return FailedOp(error);
    }
    auto [process, thread] = TakeProcessHandles(info);
    // The core holds its own copy of the log now.
    log.Reset();

    // A core outside the job would outlive the service, so it is not started
    // at all (on Windows 7 this happens when the service itself runs in a job
    // that allows no nesting).
    Win32Status entered =
        inheritList.JobListed() || AssignProcessToJobObject(job.value().Get(), process.Get())
            ? Win32Status(Done{})
            : Win32Status(LastError(L"AssignProcessToJobObject"));
    if (entered && ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        entered = LastError(L"ResumeThread");
    }
    if (!entered) {
        TerminateProcess(process.Get(), 1);
        WaitForSingleObject(process.Get(), settings_.terminateWaitMs);
        Log(L"[XRAY] " + FailureText(entered.error()));
        return FailedOp(entered.error());
    }

    Sleep(settings_.settleMs);

    if (!IsRunning(process.Get())) {
        const Win32Result<std::uint32_t> exitCode = ExitCodeOf(process.Get());
        thread.Reset();
        process.Reset();
        if (!exitCode) {
            Log(L"[XRAY] exited immediately. " + FailureText(exitCode.error()));
            return FailedOp(exitCode.error());
        }
        Log(L"[XRAY] exited immediately. Code=" + ToDecimal(exitCode.value()));
        return {false, exitCode.value()};
    }

    slot_.job = std::move(job.value());
    slot_.process = std::move(process);
    slot_.thread = std::move(thread);
    slot_.processId = info.dwProcessId;
    slot_.threadId = info.dwThreadId;
    slot_.running = true;
    Log(L"[XRAY] started successfully with config: " + configPath);
    return {true, 0};
}

OpResult CoreProcessManager::StopXray() {
    std::lock_guard<std::mutex> lock(xrayMutex);
    if (slot_.running) {
        if (IsRunning(slot_.process.Get())) {
            Log(L"[XRAY] terminating xray.exe");
            TerminateProcess(slot_.process.Get(), 0);
            WaitForSingleObject(slot_.process.Get(), settings_.terminateWaitMs);
        }
        EmptySlot();
        Log(L"[XRAY] stopped.");
    } else {
        Log(L"[XRAY] stop requested, but no xray process exists.");
    }
    return {true, 0};
}

XrayStatus CoreProcessManager::QueryXrayStatus() {
    std::lock_guard<std::mutex> lock(xrayMutex);
    if (!slot_.running || !slot_.process) {
        return {false, 0};
    }
    if (IsRunning(slot_.process.Get())) {
        return {true, kStillActiveCode};
    }
    const Win32Result<std::uint32_t> exitCode = ExitCodeOf(slot_.process.Get());
    if (!exitCode) {
        return {false, exitCode.error().code};
    }
    return {false, exitCode.value()};
}

DWORD CoreProcessManager::RecordedProcessId() {
    std::lock_guard<std::mutex> lock(xrayMutex);
    return slot_.processId;
}

}  // namespace velk
