#include "service/supervision/helper_runner.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "common/inherit_handle_list.h"
#include "common/process_status.h"
#include "common/unique_handle.h"
#include "common/win32_result.h"
#include "service/supervision/child_environment.h"
#include "service/supervision/command_lines.h"
#include "service/supervision/kill_on_close_job.h"

namespace velk {
namespace {

// Ends every process in the job and waits, at most waitMs, until they are
// gone, so that none of them changes anything after the caller reports.
void EndJobProcesses(HANDLE job, HANDLE helper, DWORD waitMs) {
    if (!TerminateJobObject(job, 1)) {
        TerminateProcess(helper, 1);
    }
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    WaitForSingleObject(helper, waitMs);
    while (ActiveJobProcesses(job) != 0 && GetTickCount64() < deadline) {
        Sleep(10);
    }
}

// Waits for the helper at most timeoutMs; true when it ended. Progress is
// reported after each slice of the wait, once the stop event is set or, with
// no stop event, from the start.
bool AwaitHelper(const HelperRunSettings& settings, HANDLE process, std::uint32_t timeoutMs) {
    if (!settings.progress) {
        return WaitForSingleObject(process, timeoutMs) != WAIT_TIMEOUT;
    }
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    if (settings.stopEvent != nullptr) {
        HANDLE events[2] = {process, settings.stopEvent};
        const DWORD wait = WaitForMultipleObjects(2, events, FALSE, timeoutMs);
        if (wait != WAIT_OBJECT_0 + 1) {
            return wait != WAIT_TIMEOUT;
        }
    }
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        settings.progress(left);
        const DWORD slice = std::min<DWORD>(left, kStopProgressIntervalMs);
        if (WaitForSingleObject(process, slice) != WAIT_TIMEOUT) {
            return true;
        }
        if (left == 0) {
            return false;
        }
    }
}

}  // namespace

OpResult RunHelperProcess(const HelperRunSettings& settings, const std::wstring& programPath,
                          const std::wstring& arguments, std::uint32_t timeoutMs) {
    auto log = [&settings](const std::wstring& message) { LogTo(settings.log, message); };

    const std::wstring commandLine = ComposeHelperCommandLine(programPath, arguments);
    std::vector<wchar_t> commandBuffer(commandLine.begin(), commandLine.end());
    commandBuffer.push_back(L'\0');
    // netsteer and the tools it starts get the service's child block, never
    // what the service inherited.
    const Win32Result<std::wstring> environment = ServiceChildEnvironmentBlock();
    if (!environment) {
        log(FailureText(environment.error()));
        return FailedOp(environment.error());
    }

    // Started suspended so that it is inside the job before it can start
    // anything of its own. Without a job (it could not be made) the run still
    // goes ahead; only the helper itself is then ended on a time-out.
    UniqueHandle job;
    if (Win32Result<UniqueHandle> made = CreateKillOnCloseJob()) {
        job = std::move(made.value());
    } else {
        log(FailureText(made.error()));
    }
    // It inherits nothing; where the system can, it is created inside the
    // job, so that a service dying right after the creation leaves no
    // suspended helper behind.
    const InheritHandleList inheritNothing({}, job.Get());
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup.StartupInfo);
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    DWORD flags = CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT | (job ? CREATE_SUSPENDED : 0);
    if (inheritNothing.Get() != nullptr) {
        startup.StartupInfo.cb = sizeof(startup);
        startup.lpAttributeList = inheritNothing.Get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }

    PROCESS_INFORMATION info{};
    if (!CreateProcessW(
            nullptr, commandBuffer.data(), nullptr, nullptr, FALSE, flags,
            const_cast<wchar_t*>(environment.value().c_str()),
            settings.workingDirectory.empty() ? nullptr : settings.workingDirectory.c_str(),
            &startup.StartupInfo, &info)) {
        const Win32Error error = LastError(L"CreateProcessW");
        log(FailureText(error));
        return FailedOp(error);
    }
    auto [process, thread] = TakeProcessHandles(info);

    if (job) {
        // Fails on Windows 7 when the service itself runs in a job that does
        // not allow nesting; the helper then runs unguarded rather than not.
        if (!inheritNothing.JobListed() && !AssignProcessToJobObject(job.Get(), process.Get())) {
            log(FailureText(LastError(L"AssignProcessToJobObject")));
            job.Reset();
        }
        if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
            const Win32Error error = LastError(L"ResumeThread");
            TerminateProcess(process.Get(), 1);
            WaitForSingleObject(process.Get(), settings.treeEndWaitMs);
            log(FailureText(error));
            return FailedOp(error);
        }
    }

    if (!AwaitHelper(settings, process.Get(), timeoutMs)) {
        if (job) {
            EndJobProcesses(job.Get(), process.Get(), settings.treeEndWaitMs);
        } else {
            TerminateProcess(process.Get(), 1);
            WaitForSingleObject(process.Get(), settings.treeEndWaitMs);
        }
        log(L"Process timeout.");
        return {false, kHelperTimeoutCode};
    }

    const Win32Result<std::uint32_t> exitCode = ExitCodeOf(process.Get());
    // netsteer waits for every command it runs, so anything still in the job
    // is a straggler that must not touch the routes after the client has been
    // answered.
    if (job && ActiveJobProcesses(job.Get()) != 0) {
        EndJobProcesses(job.Get(), process.Get(), settings.treeEndWaitMs);
    }
    if (!exitCode) {
        log(FailureText(exitCode.error()));
        return FailedOp(exitCode.error());
    }
    return {exitCode.value() == 0, exitCode.value()};
}

}  // namespace velk
