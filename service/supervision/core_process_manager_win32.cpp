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
#include "service/policy/config_path_rules.h"
#include "service/supervision/core_config_document.h"
#include "service/supervision/data_folder.h"
#include "service/supervision/file_tail.h"

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
    session_.core.reset();
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
    RecordedCore& core = session_.core.emplace();
    core.job = std::move(job);
    core.process = std::move(created.process);
    core.processId = created.processId;
    core.endReport = std::make_unique<CoreEndReport>();
    core.endReport->processId = core.processId;
    core.endReport->process = core.process.Get();
    core.endReport->events = settings_.events;
    if (Win32Result<UniqueRegisteredWait> watch =
            RegisterWaitOnce(core.process.Get(), &ReportCoreEnd, core.endReport.get())) {
        core.endWatch = std::move(watch.value());
    }
}

void CoreProcessManager::Report(ServiceEvent event,
                                const std::vector<std::wstring>& inserts) const {
    if (settings_.events) {
        settings_.events(event, inserts);
    }
}

CoreStartOutcome CoreProcessManager::RefuseConfiguration(const std::wstring& configPath,
                                                         const Refusal& refusal) {
    Log(L"[XRAY] config refused (" + refusal.reason + L"): " + configPath);
    Report(ServiceEvent::kConfigRefused, {configPath, refusal.reason});
    return CoreStartRefused(refusal.reason);
}

namespace {

CheckedConfiguration RefusedConfiguration(std::wstring reason) {
    return CheckedConfiguration{std::string(), Refusal{std::move(reason)}};
}

}  // namespace

Win32Result<CheckedConfiguration> CoreProcessManager::ReadConfiguration(
    const std::wstring& configPath, const CallerReadAccess& reader) {
    std::wstring pathProblem = ConfigPathProblem(configPath);
    if (!pathProblem.empty()) {
        return RefusedConfiguration(std::move(pathProblem));
    }
    Win32Result<CallerConfig> read = ReadCallerConfig(configPath, reader, settings_.maxConfigBytes);
    if (!read) {
        Log(L"[XRAY] config not read: " + FailureText(read.error()));
        return read.error();
    }
    if (!read.value().problem.empty()) {
        return RefusedConfiguration(std::move(read.value().problem));
    }
    CoreConfigCopy copy = CheckedCoreConfig(std::move(read.value().bytes), settings_.dataDirectory);
    if (!copy.problem.empty()) {
        return RefusedConfiguration(std::move(copy.problem));
    }
    return CheckedConfiguration{std::move(copy.text), std::nullopt};
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

Win32Result<OpenedRuntimeLog> CoreProcessManager::OpenRuntimeLog() {
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
    // Everything the core appends from here on is its session's.
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(log.value().handle.Get(), &size)) {
        return LastError(L"GetFileSizeEx");
    }
    SetFilePointer(log.value().handle.Get(), 0, nullptr, FILE_END);
    return OpenedRuntimeLog{std::move(log.value().handle), log.value().path, size.QuadPart};
}

namespace {

// How long the file at `path` is; 0 when there is none yet.
Win32Result<std::int64_t> LengthOrNone(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        const Win32Error error = LastError(L"GetFileAttributesExW");
        if (error.code == ERROR_FILE_NOT_FOUND || error.code == ERROR_PATH_NOT_FOUND) {
            return std::int64_t{0};
        }
        return error;
    }
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                     data.nFileSizeLow);
}

}  // namespace

Win32Result<CreatedCore> CoreProcessManager::CreateCore(HANDLE log, HANDLE job) {
    const std::wstring commandLine = ComposeCoreCommandLine(
        settings_.programDirectory + kCoreProgramName, settings_.configCopyPath);
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

CoreStartOutcome CoreProcessManager::StartXray(const std::wstring& configPath,
                                               const CallerReadAccess& reader,
                                               const std::wstring& owner) {
    std::lock_guard<std::mutex> lock(xrayMutex);
    CoreLogMarks marks;
    const CoreStartOutcome outcome = Start(configPath, reader, marks);
    session_.ledger.Settle(outcome, owner, std::move(marks));
    return outcome;
}

CoreStartOutcome CoreProcessManager::Start(const std::wstring& configPath,
                                           const CallerReadAccess& reader, CoreLogMarks& marks) {
    if (session_.core) {
        if (IsRunning(session_.core->process.Get())) {
            Log(L"[XRAY] xray.exe already running.");
            return CoreAlreadyRunning();
        }
        Forget();
    }

    Win32Result<CheckedConfiguration> configuration = ReadConfiguration(configPath, reader);
    if (!configuration) {
        return CoreStartFailed(configuration.error());
    }
    if (configuration.value().refusal) {
        return RefuseConfiguration(configPath, *configuration.value().refusal);
    }
    if (const Win32Status data = PrepareDataDirectory(); !data) {
        return CoreStartFailed(data.error());
    }
    if (const Win32Status copy = WriteConfigurationCopy(configuration.value().text); !copy) {
        return CoreStartFailed(copy.error());
    }
    const Win32Result<std::int64_t> errorLogEnd = LengthOrNone(settings_.errorLogPath);
    if (!errorLogEnd) {
        Log(L"[XRAY] error log: " + FailureText(errorLogEnd.error()));
        return CoreStartFailed(errorLogEnd.error());
    }
    Win32Result<OpenedRuntimeLog> log = OpenRuntimeLog();
    if (!log) {
        return CoreStartFailed(log.error());
    }
    marks.runtimePath = log.value().path;
    marks.runtimeEnd = log.value().end;
    marks.errorEnd = errorLogEnd.value();

    Win32Result<UniqueHandle> job = settings_.makeJob();
    if (!job) {
        log.value().handle.Reset();
        Log(L"[XRAY] " + FailureText(job.error()));
        return CoreStartFailed(job.error());
    }

    Win32Result<CreatedCore> created = CreateCore(log.value().handle.Get(), job.value().Get());
    // The core holds its own copy of the log now, if it was made.
    log.value().handle.Reset();
    if (!created) {
        Log(L"[XRAY] " + FailureText(created.error()));
        return CoreStartFailed(created.error());
    }
    Sleep(settings_.settleMs);

    if (!IsRunning(created.value().process.Get())) {
        const Win32Result<std::uint32_t> exitCode = ExitCodeOf(created.value().process.Get());
        created.value().process.Reset();
        if (!exitCode) {
            Log(L"[XRAY] exited immediately. " + FailureText(exitCode.error()));
        } else {
            Log(L"[XRAY] exited immediately. Code=" + ToDecimal(exitCode.value()));
        }
        return CoreEndedAtOnce(exitCode);
    }

    Record(std::move(job.value()), std::move(created.value()));
    Log(L"[XRAY] started successfully with config: " + configPath);
    return CoreStarted();
}

OpResult CoreProcessManager::StopXray() {
    std::lock_guard<std::mutex> lock(xrayMutex);
    std::optional<RecordedCore>& core = session_.core;
    if (core) {
        if (IsRunning(core->process.Get())) {
            Log(L"[XRAY] terminating xray.exe");
            // This end is the service's doing, not news for the event log.
            core->endReport->expected = true;
            TerminateProcess(core->process.Get(), 0);
            WaitForSingleObject(core->process.Get(), settings_.terminateWaitMs);
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
    const std::optional<RecordedCore>& core = session_.core;
    if (!core) {
        return {false, 0};
    }
    if (IsRunning(core->process.Get())) {
        return {true, kStillActiveCode};
    }
    const Win32Result<std::uint32_t> exitCode = ExitCodeOf(core->process.Get());
    if (!exitCode) {
        return {false, exitCode.error().code};
    }
    return {false, exitCode.value()};
}

DWORD CoreProcessManager::RecordedProcessId() {
    std::lock_guard<std::mutex> lock(xrayMutex);
    return session_.core ? session_.core->processId : 0;
}

CoreSessionHolder CoreProcessManager::Holder() {
    std::lock_guard<std::mutex> lock(xrayMutex);
    const CoreSessionFacts* session = session_.ledger.Current();
    return {session ? session->owner : std::wstring(), session_.core.has_value()};
}

Win32Result<std::wstring> CoreProcessManager::ReadLogTail(CoreLog log, std::int64_t maxBytes) {
    std::lock_guard<std::mutex> lock(xrayMutex);
    const CoreSessionFacts* session = session_.ledger.Current();
    std::wstring path = settings_.errorLogPath;
    if (log == CoreLog::kRuntime) {
        path = session ? session->marks.runtimePath : settings_.runtimeLogPath;
    }
    return ReadFileTail(path, maxBytes, session_.ledger.Mark(log));
}

}  // namespace velk
