#pragma once
// Where each of netsteer's commands starts: its tool from the system folder,
// through the system folder's own command interpreter, so that no folder on
// the search path decides which program runs as LocalSystem.
#include <cstdint>
#include <string>

namespace netsteer {

struct InterpreterRun {
    // The command interpreter's full path, for CreateProcessW's application name.
    std::wstring program;
    // "\"<program>\" /S /C \"\"<tool path>\" <rest of the command>\"". With
    // /S the interpreter drops only the outer pair of quotes, so the command
    // keeps its own quotes whatever the paths hold.
    std::wstring commandLine;
};

// The full path of the tool that a command's first word names ("route",
// "netsh", "powershell", in any letter case); empty for any other word.
std::wstring ToolProgramPath(const std::wstring& firstWord, const std::wstring& systemDirectory);

// How `command` runs with the system folder `systemDirectory` (as
// GetSystemDirectoryW gives it): a first word that names a tool is replaced by
// the tool's quoted full path, anything else (the interpreter's own commands,
// a quoted program path) is left as it is.
InterpreterRun InterpreterRunFor(const std::wstring& command, const std::wstring& systemDirectory);

// Whether CreateProcessW's error `code` says the machine was short of
// something for a moment (memory, quota, system resources, or an internal
// error), so that starting the same tool again may work; a missing or
// refused program never is. A step that restores the routing must not fail
// for a moment's want.
bool IsPassingStartFailure(std::uint32_t code);

}  // namespace netsteer
