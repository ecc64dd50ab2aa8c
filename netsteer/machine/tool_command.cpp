#include "netsteer/machine/tool_command.h"

#include "netsteer/machine/text_utils.h"
#include "netsteer/netsteer_constants.h"

namespace netsteer {
namespace {

std::wstring InSystemFolder(const std::wstring& systemDirectory, const wchar_t* relativePath) {
    std::wstring path = systemDirectory;
    if (!path.empty() && path.back() != L'\\') {
        path += L'\\';
    }
    return path + relativePath;
}

}  // namespace

std::wstring ToolProgramPath(const std::wstring& firstWord, const std::wstring& systemDirectory) {
    // Program names are the same in any letter case, as the interpreter's
    // search would take them.
    const std::wstring word = ToLowerCase(firstWord);
    for (const SystemTool& tool : kSystemTools) {
        if (word == tool.name) {
            return InSystemFolder(systemDirectory, tool.relativePath);
        }
    }
    return std::wstring();
}

InterpreterRun InterpreterRunFor(const std::wstring& command, const std::wstring& systemDirectory) {
    InterpreterRun run;
    run.program = InSystemFolder(systemDirectory, kCommandInterpreterName);
    const std::size_t wordEnd = command.find(L' ');
    const std::wstring tool = ToolProgramPath(command.substr(0, wordEnd), systemDirectory);
    std::wstring inner = command;
    if (!tool.empty()) {
        inner = L"\"" + tool + L"\"" +
                (wordEnd == std::wstring::npos ? std::wstring() : command.substr(wordEnd));
    }
    run.commandLine =
        L"\"" + run.program + L"\"" + kCommandInterpreterSwitches + L"\"" + inner + L"\"";
    return run;
}

bool IsPassingStartFailure(std::uint32_t code) {
    // The Windows codes by number, so that the rule is the same in the
    // portable build: ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY,
    // ERROR_INTERNAL_ERROR (Wine's answer when its server is overrun),
    // ERROR_NO_SYSTEM_RESOURCES, ERROR_NONPAGED_SYSTEM_RESOURCES,
    // ERROR_PAGED_SYSTEM_RESOURCES, ERROR_WORKING_SET_QUOTA,
    // ERROR_PAGEFILE_QUOTA, ERROR_COMMITMENT_LIMIT, ERROR_NOT_ENOUGH_QUOTA.
    constexpr std::uint32_t kPassing[] = {8, 14, 1359, 1450, 1451, 1452, 1453, 1454, 1455, 1816};
    for (const std::uint32_t passing : kPassing) {
        if (code == passing) {
            return true;
        }
    }
    return false;
}

}  // namespace netsteer
