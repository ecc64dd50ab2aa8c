#pragma once
#include <string>

namespace velk {

// The directory part of a program path, up to and including its last "\" or
// "/"; empty when the path is empty or has no separator.
std::wstring DirectoryOfPath(const std::wstring& programPath);

// The directory of the running program (GetModuleFileNameW into a 260-unit
// buffer), with its trailing separator, or empty text.
std::wstring GetModuleDirectory();

}  // namespace velk
