#include "service/supervision/child_environment.h"

#include <algorithm>

namespace velk {
namespace {

using Variable = std::pair<std::wstring, std::wstring>;

std::wstring Below(const std::wstring& folder, const wchar_t* relativePath) {
    if (folder.empty()) {
        return std::wstring();
    }
    return folder + (folder.back() == L'\\' ? L"" : L"\\") + relativePath;
}

// The "C:" of "C:\Windows"; empty for a folder without a drive letter.
std::wstring DriveOf(const std::wstring& folder) {
    if (folder.size() >= 2 && folder[1] == L':' &&
        ((folder[0] >= L'A' && folder[0] <= L'Z') || (folder[0] >= L'a' && folder[0] <= L'z'))) {
        return folder.substr(0, 2);
    }
    return std::wstring();
}

// "a;b;c" of the folders that are known.
std::wstring SearchPath(const std::vector<std::wstring>& folders) {
    std::wstring path;
    for (const std::wstring& folder : folders) {
        if (folder.empty()) {
            continue;
        }
        if (!path.empty()) {
            path += L';';
        }
        path += folder;
    }
    return path;
}

// Windows keeps a block sorted by name as if both were upper case, code unit
// by code unit; names here are ASCII.
wchar_t Upper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool NameBefore(const std::wstring& a, const std::wstring& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](wchar_t x, wchar_t y) { return Upper(x) < Upper(y); });
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return !NameBefore(a, b) && !NameBefore(b, a);
}

bool Usable(const Variable& variable) {
    return !variable.first.empty() && variable.first.find(L'=') == std::wstring::npos &&
           variable.first.find(L'\0') == std::wstring::npos && !variable.second.empty() &&
           variable.second.find(L'\0') == std::wstring::npos;
}

}  // namespace

std::vector<Variable> ChildEnvironmentVariables(const ChildEnvironmentInputs& inputs) {
    const std::wstring& system = inputs.systemDirectory;
    std::vector<Variable> ours = {
        {L"ComSpec", Below(system, L"cmd.exe")},
        {L"PATH", SearchPath({system, inputs.windowsDirectory, Below(system, L"Wbem"),
                              Below(system, L"WindowsPowerShell\\v1.0")})},
        {L"ProgramData", inputs.programData},
        {L"SystemDrive", DriveOf(inputs.windowsDirectory)},
        {L"SystemRoot", inputs.windowsDirectory},
        {L"TEMP", inputs.tempDirectory},
        {L"TMP", inputs.tempDirectory},
        {L"windir", inputs.windowsDirectory},
    };
    std::vector<Variable> variables;
    for (const Variable& variable : ours) {
        if (Usable(variable)) {
            variables.push_back(variable);
        }
    }
    for (const Variable& variable : inputs.passedOn) {
        const bool taken =
            std::any_of(ours.begin(), ours.end(),
                        [&](const Variable& own) { return SameName(own.first, variable.first); }) ||
            std::any_of(variables.begin(), variables.end(),
                        [&](const Variable& kept) { return SameName(kept.first, variable.first); });
        if (Usable(variable) && !taken) {
            variables.push_back(variable);
        }
    }
    std::stable_sort(variables.begin(), variables.end(), [](const Variable& a, const Variable& b) {
        return NameBefore(a.first, b.first);
    });
    return variables;
}

std::wstring ComposeEnvironmentBlock(const std::vector<Variable>& variables) {
    std::wstring block;
    for (const Variable& variable : variables) {
        block += variable.first;
        block += L'=';
        block += variable.second;
        block += L'\0';
    }
    // An empty block still needs its two terminators.
    if (block.empty()) {
        block += L'\0';
    }
    block += L'\0';
    return block;
}

}  // namespace velk
