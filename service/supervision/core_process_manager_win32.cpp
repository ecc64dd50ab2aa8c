#include "service/supervision/core_process_manager.h"

#include <utility>
#include <vector>

#include "common/inherit_handle_list.h"
#include "common/owned_file.h"
#include "common/process_status.h"
#include "common/wide_text.h"
#include "service/supervision/caller_config.h"
#include "service/supervision/child_environment.h"
#include "service/supervision/command_lines.h"
#include "service/supervision/config_path_rules.h"
#include "service/supervision/core_config_document.h"
#include "service/supervision/data_folder.h"

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
    LogTo(settings_.log, message);
}

void CoreProcessManager::Forget() {
    core_.reset();
}

namespace {

void CALLBACK ReportCoreEnd(void* context, BOOLEAN /*timedOut*/) {
    const auto* report = static_cast<const CoreEndReport*>(context);
    if (report->expected || !report->events) {
        return;
    }
    const Win32Result<std::uint32_t> exitCode = ExitCodeOf(report->process);
    report->events(ServiceEvent::kCoreEnded,
                   {ToDecimal(report->processId),
                    exitCode ? ToDecimal(exitCode.value()) : FailureText(exitCode.error())});
}

}  // namespace

void CoreProcessManager::Record(UniqueHandle job, CreatedCore created) {
    RecordedCore& core = core_.emplace();
    core.job = std::move(job);
    core.process = std::move(created.process);
    core.processId = created.processId;
    core.endReport = std::make_unique<CoreEndReport>();
    core.endReport->processId = core.processId;
    core.endReport->process = core.process.Get();
    core.endReport->events = settings_.events;
    core.endWatch =
        std::make_unique<RegisteredWait>(core.process.Get(), &ReportCoreEnd, core.endReport.get());
}

void CoreProcessManager::Report(ServiceEvent event,
                                const std::vector<std::wstring>& inserts) const {
    if (settings_.events) {
        settings_.events(event, inserts);
    }
}

Win32Error CoreProcessManager::RefuseConfiguration(const std::wstring& configPath,
                                                   const std::wstring& reason) {
    Log(L"[XRAY] config refused (" + reason + L"): " + configPath);
    Report(ServiceEvent::kConfigRefused, {configPath, reason});
    return Win32Error{L"StartXray", ERROR_INVALID_PARAMETER};
}

Win32Result<std::string> CoreProcessManager::ReadConfiguration(const std::wstring& configPath,
                                                               const CallerMayRead& mayRead) {
    const std::wstring pathProblem = ConfigPathProblem(configPath);
    if (!pathProblem.empty()) {
        return RefuseConfiguration(configPath, pathProblem);
    }
    Win32Result<CallerConfig> read =
        ReadCallerConfig(configPath, mayRead, settings_.maxConfigBytes);
    if (!read) {
        Log(L"[XRAY] config not read: " + FailureText(read.error()));
        return read.error();
    }
    if (!read.value().problem.empty()) {
        return RefuseConfiguration(configPath, read.value().problem);
    }
    CoreConfigCopy copy = CheckedCoreConfig(std::move(read.value().bytes), settings_.dataDirectory);
    if (!copy.problem.empty()) {
        return RefuseConfiguration(configPath, copy.problem);
    }
    return std::move(copy.text);
}

Win32Status CoreProcessManager::PrepareDataDirectory() {
    const Win32Result<OwnedDirectory> data = PrepareDataFolder(settings_.dataDirectory);
    if (!data) {
        Log(L"[XRAY] data directory: " + FailureText(data.error()));
        return data.error();
    }
    if (!data.value().movedAside.empty()) {
        Log(L"[XRAY] data directory not ours (" + data.value().found.Text() + L")");
        ReportMovedAside(settings_.dataDirectory, data.value().movedAside, settings_.dataDirectory);
    }
    return Done{};
}

void CoreProcessManager::ReportMovedAside(const std::wstring& path, const std::wstring& movedTo,
                                          const std::wstring& usedPath) {
    if (!movedTo.empty()) {
        Log(L"[XRAY] not ours, moved aside: " + path + L" -> " + movedTo);
        Report(ServiceEvent::kFileMovedAside, {path, movedTo});
    }
    if (usedPath != path) {
        // Held open by someone else without sharing: it can be neither
        // written nor moved, so a fresh file takes its place for this run.
        Log(L"[XRAY] held open by another process, using " + usedPath + L" instead of " + path);
        Report(ServiceEvent::kFileMovedAside, {path, usedPath});
    }
}

namespace {

// A file of ours in the data directory, for SYSTEM and Administrators only.
OwnedFileRequest DataFileRequest(const std::wstring& path, DWORD access, DWORD share,
                                 DWORD disposition) {
    OwnedFileRequest request;
    request.path = path;
    request.access = access;
    request.share = share;
    request.disposition = disposition;
    request.sddl = kDataFileSddl;
    return request;
}

}  // namespace

Win32Status CoreProcessManager::WriteConfigurationCopy(const std::string& bytes) {
    const OwnedFileRequest request =
        DataFileRequest(settings_.configCopyPath, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
    Win32Result<OwnedFile> copy = OpenOwnedFile(request);
    if (!copy) {
        Log(L"[XRAY] config copy: " + FailureText(copy.error()));
        return copy.error();
    }
    ReportMovedAside(request.path, copy.value().movedAside, copy.value().path);
    DWORD written = 0;
    if (!WriteFile(copy.value().handle.Get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                   &written, nullptr) ||
        written != bytes.size()) {
        const Win32Error error = LastError(L"WriteFile");
        Log(L"[XRAY] config copy: " + FailureText(error));
        return error;
    }
    return Done{};
}

Win32Result<UniqueHandle> CoreProcessManager::OpenRuntimeLog() {
    OwnedFileRequest request = DataFileRequest(settings_.runtimeLogPath, FILE_APPEND_DATA,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
    request.inheritable = true;
    request.freshWhenHeld = true;
    Win32Result<OwnedFile> log = OpenOwnedFile(request);
    if (!log) {
        // The response carries the code; this failure has no log line of its own.
        return log.error();
    }
    ReportMovedAside(request.path, log.value().movedAside, log.value().path);
    SetFilePointer(log.value().handle.Get(), 0, nullptr, FILE_END);
    return std::move(log.value().handle);
}

Win32Result<CreatedCore> CoreProcessManager::CreateCore(HANDLE log, HANDLE job) {
    const std::wstring directory =
        settings_.programDirectory ? settings_.programDirectory() : std::wstring();
    const std::wstring commandLine =
        ComposeCoreCommandLine(directory + kCoreProgramName, settings_.configCopyPath);
    std::vector<wchar_t> commandBuffer(commandLine.begin(), commandLine.end());
    commandBuffer.push_back(L'\0');
    const Win32Result<std::wstring> environment = ServiceChildEnvironmentBlock();
    if (!environment) {
        return environment.error();
    }

    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::vector<HANDLE> inherited{log};
    if (IsInheritable(input) && input != log) {
        inherited.push_back(input);
    }
    // Only these, so that a handle another thread made inheritable at the same
    // moment does not leak into the core.
    // Where the system can, the core is created inside its job, so that no
    // moment exists in which the service could die and leave it outside.
    InheritHandleList inheritList(inherited, job);
    STARTUPINFOEXW startup;
    const DWORD flags = PrepareHiddenStartup(inheritList, input, log, &startup);

    // The data directory is the core's working directory, so that the
    // relative log names of a configuration land there; it finds its assets
    // by its own program directory, not by this one. Suspended until it is
    // in the job, so that it never runs outside it (before Windows 10 it is
    // put there after its creation).
    // Its environment is the service's child block, never what the service
    // inherited (CreateProcessW only reads the block).
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandBuffer.data(), nullptr, nullptr, TRUE,
                        flags | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT,
                        const_cast<wchar_t*>(environment.value().c_str()),
                        settings_.dataDirectory.c_str(), &startup.StartupInfo, &info)) {
        return LastError(L"CreateProcessW");
    }
    ProcessHandles handles = TakeProcessHandles(info);

    // A core outside the job would outlive the service, so it is not started
    // at all (on Windows 7 this happens when the service itself runs in a job
    // that allows no nesting).
    Win32Status entered = inheritList.JobListed() || AssignProcessToJobObject(job, info.hProcess)
                              ? Win32Status(Done{})
                              : Win32Status(LastError(L"AssignProcessToJobObject"));
    if (entered && ResumeThread(info.hThread) == static_cast<DWORD>(-1)) {
        entered = LastError(L"ResumeThread");
    }
    if (!entered) {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, settings_.terminateWaitMs);
        return entered.error();
    }
    // Resumed: nothing more is done with its first thread.
    return CreatedCore{std::move(handles.process), info.dwProcessId};
}

OpResult CoreProcessManager::StartXray(const std::wstring& configPath,
                                       const CallerMayRead& mayRead) {
    std::lock_guard<std::mutex> lock(xrayMutex);

    if (core_) {
        if (IsRunning(core_->process.Get())) {
            Log(L"[XRAY] xray.exe already running.");
            return {true, 0};
        }
        Forget();
    }

    Win32Result<std::string> configuration = ReadConfiguration(configPath, mayRead);
    if (!configuration) {
        return FailedOp(configuration.error());
    }
    if (const Win32Status data = PrepareDataDirectory(); !data) {
        return FailedOp(data.error());
    }
    if (const Win32Status copy = WriteConfigurationCopy(configuration.value()); !copy) {
        return FailedOp(copy.error());
    }
    Win32Result<UniqueHandle> log = OpenRuntimeLog();
    if (!log) {
        return FailedOp(log.error());
    }

    Win32Result<UniqueHandle> job = settings_.makeJob();
    if (!job) {
        log.value().Reset();
        Log(L"[XRAY] " + FailureText(job.error()));
        return FailedOp(job.error());
    }

    Win32Result<CreatedCore> created = CreateCore(log.value().Get(), job.value().Get());
    // The core holds its own copy of the log now, if it was made.
    log.value().Reset();
    if (!created) {
        Log(L"[XRAY] " + FailureText(created.error()));
        return FailedOp(created.error());
    }
    Sleep(settings_.settleMs);

    if (!IsRunning(created.value().process.Get())) {
        const Win32Result<std::uint32_t> exitCode = ExitCodeOf(created.value().process.Get());
        created.value().process.Reset();
        if (!exitCode) {
            Log(L"[XRAY] exited immediately. " + FailureText(exitCode.error()));
            return FailedOp(exitCode.error());
        }
        Log(L"[XRAY] exited immediately. Code=" + ToDecimal(exitCode.value()));
        return {false, exitCode.value()};
    }

    Record(std::move(job.value()), std::move(created.value()));
    Log(L"[XRAY] started successfully with config: " + configPath);
    return {true, 0};
}

OpResult CoreProcessManager::StopXray() {
    std::lock_guard<std::mutex> lock(xrayMutex);
    if (core_) {
        if (IsRunning(core_->process.Get())) {
            Log(L"[XRAY] terminating xray.exe");
            // This end is the service's doing, not news for the event log.
            core_->endReport->expected = true;
            TerminateProcess(core_->process.Get(), 0);
            WaitForSingleObject(core_->process.Get(), settings_.terminateWaitMs);
        }
        Forget();
        Log(L"[XRAY] stopped.");
    } else {
        Log(L"[XRAY] stop requested, but no xray process exists.");
    }
    return {true, 0};
}

XrayStatus CoreProcessManager::QueryXrayStatus() {
    std::lock_guard<std::mutex> lock(xrayMutex);
    if (!core_) {
        return {false, 0};
    }
    if (IsRunning(core_->process.Get())) {
        return {true, kStillActiveCode};
    }
    const Win32Result<std::uint32_t> exitCode = ExitCodeOf(core_->process.Get());
    if (!exitCode) {
        return {false, exitCode.error().code};
    }
    return {false, exitCode.value()};
}

DWORD CoreProcessManager::RecordedProcessId() {
    std::lock_guard<std::mutex> lock(xrayMutex);
    return core_ ? core_->processId : 0;
}

}  // namespace velk
