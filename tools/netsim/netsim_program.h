#pragma once
// What the four simulator programs share on Windows: the state file under a
// lock, the command line, and output as bytes of the console code page.
#include <functional>
#include <string>
#include <vector>

#include "tools/netsim/netsim_machine.h"
#include "tools/netsim/netsim_tools.h"

namespace netsim {

// The state file every program of the simulator uses: the path in the
// environment variable VELK_NETSIM_STATE when set (tests give each case its
// own), else C:\ProgramData\velk-netsim\machine.txt. Services get no
// environment from a test, so the fixed path is what they see.
std::wstring StatePath();

// Reads the state file; a missing file gives the "home" machine. False, with
// a reason, when the file cannot be read or parsed.
bool LoadMachine(const std::wstring& path, Machine& machine, std::wstring& error);

// Writes the state file through a temporary file and a rename, so a reader
// never sees half of it. Creates the file's directory when missing.
bool SaveMachine(const std::wstring& path, const Machine& machine);

using Tool = std::function<ToolResult(Machine&, const std::vector<std::wstring>&)>;

// The whole life of one tool program: switches standard output and error to
// binary, reads the arguments, loads the machine under the machine lock, lets
// an injected failure or `tool` answer, records the command in the journal,
// saves the machine, waits the machine's tool delay after the lock is free,
// and prints. `journaled` is false for the control program, which never waits.
int RunToolProgram(const std::wstring& name, const Tool& tool, bool journaled);

}  // namespace netsim
