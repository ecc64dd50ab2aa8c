#pragma once
// Running one command line through the command interpreter and collecting
// everything it prints as wide text.
#include <string>

#include "common/win32_result.h"

namespace netsteer {

// Runs command through the system folder's command interpreter, its tool
// started from the system folder (InterpreterRunFor), with no window, and
// returns its standard output and standard error, interleaved as written,
// decoded chunk by chunk (DecodeOutputChunk). Waits for the child without a
// time-out. The failed call when the system folder is not known or the pipe or
// the process could not be created; a process not made for a moment's want
// (IsPassingStartFailure) is tried again first, kCommandStartAttempts times
// in all.
velk::Win32Result<std::wstring> RunCommand(const std::wstring& command);

// The same for a complete command line (no interpreter prefix added): the
// seam that lets a test name a program that does not exist.
velk::Win32Result<std::wstring> RunHiddenCommandLine(const std::wstring& commandLine);

// Bytes in the system's ANSI code page to wide text; empty when they do not
// decode (the chunk is then dropped, as DecodeOutputChunk says).
std::wstring DecodeAnsiCodePage(const std::string& bytes);

}  // namespace netsteer
