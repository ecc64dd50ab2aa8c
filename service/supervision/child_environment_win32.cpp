#include "service/supervision/child_environment.h"

#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <shlobj.h>

#include "common/local_memory.h"
#include "common/system_folders.h"

namespace velk {
namespace {

// Where the core finds geoip.dat and geosite.dat when they are not beside it:
// xray reads either spelling.
constexpr const wchar_t* kPassedOnVariables[] = {L"XRAY_LOCATION_ASSET", L"xray.location.asset"};

Win32Result<std::wstring> ProgramDataFolder() {
    UniqueCoTaskMemory<wchar_t> path;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, path.Put());
    if (FAILED(result) || !path) {
        return Win32Error{L"SHGetKnownFolderPath", static_cast<std::uint32_t>(result)};
    }
    return std::wstring(path.Get());
}

// GetTempPathW without its trailing backslash.
Win32Result<std::wstring> TempFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) {
        return LastError(L"GetTempPathW");
    }
    std::wstring path(buffer, length);
    if (path.size() > 3 && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

// The variable's value in this process's environment; empty when unset.
std::wstring OwnVariable(const wchar_t* name) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed <= 1) {
        return std::wstring();
    }
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, &value[0], needed);
    value.resize(length < needed ? length : 0);
    return value;
}

}  // namespace

Win32Result<std::wstring> ServiceChildEnvironmentBlock() {
    const Win32Result<std::wstring> system = SystemDirectory();
    if (!system) {
        return system.error();
    }
    const Win32Result<std::wstring> windows = WindowsDirectory();
    if (!windows) {
        return windows.error();
    }
    const Win32Result<std::wstring> temp = TempFolder();
    if (!temp) {
        return temp.error();
    }
    const Win32Result<std::wstring> programData = ProgramDataFolder();
    if (!programData) {
        return programData.error();
    }
    ChildEnvironmentInputs inputs;
    inputs.systemDirectory = system.value();
    inputs.windowsDirectory = windows.value();
    inputs.tempDirectory = temp.value();
    inputs.programData = programData.value();
    for (const wchar_t* name : kPassedOnVariables) {
        inputs.passedOn.emplace_back(name, OwnVariable(name));
    }
    return ComposeEnvironmentBlock(ChildEnvironmentVariables(inputs));
}

}  // namespace velk
