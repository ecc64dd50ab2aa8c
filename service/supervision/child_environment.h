#pragma once
// The environment the service gives its children (the core and netsteer):
// only what they need, composed from a few values the system gives, never
// whatever the service itself inherited. Portable, so both builds check it.
#include <string>
#include <utility>
#include <vector>

#include "common/win32_result.h"

namespace velk {

struct ChildEnvironmentInputs {
    std::wstring systemDirectory;   // "C:\Windows\system32"
    std::wstring windowsDirectory;  // "C:\Windows"
    std::wstring tempDirectory;     // the service's own temporary folder
    std::wstring programData;       // "C:\ProgramData"
    // Variables passed on as they are set in the service's environment (the
    // core's asset folder); one whose value is empty is left out.
    std::vector<std::pair<std::wstring, std::wstring>> passedOn;
};

// The variables of the block, sorted by name without regard to letter case:
// ComSpec (the system folder's cmd.exe), PATH (the system folder, the Windows
// folder, Wbem and Windows PowerShell below the system folder), ProgramData,
// SystemDrive (the Windows folder's drive), SystemRoot, TEMP, TMP, windir, and
// the passed-on ones. A variable whose value is empty or holds a NUL is left
// out, and so is a passed-on one that has the name of one of ours.
std::vector<std::pair<std::wstring, std::wstring>> ChildEnvironmentVariables(
    const ChildEnvironmentInputs& inputs);

// "NAME=value\0" for each variable, in that order, then one more "\0": the
// block CreateProcessW takes with CREATE_UNICODE_ENVIRONMENT.
std::wstring ComposeEnvironmentBlock(
    const std::vector<std::pair<std::wstring, std::wstring>>& variables);

}  // namespace velk

namespace velk {

// The block for the service's children, its inputs asked of the system (the
// system and Windows folders, the service's own temporary folder, the known
// folder ProgramData) and the core's asset folder variables taken from the
// service's own environment. Windows only. The failed call when a folder
// cannot be found: a child is then not started rather than started with
// whatever the service inherited.
Win32Result<std::wstring> ServiceChildEnvironmentBlock();

}  // namespace velk
