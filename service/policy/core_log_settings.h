#pragma once
// Where the core writes the "log" object's "access" and "error" files. The
// core runs as SYSTEM, so each must be no file, or one inside the data
// directory. Portable.
#include <string>

namespace velk {

// Where the core puts a log named `value`, run with `dataDirectory` (a full
// path without a trailing separator) as its working directory.
struct CoreLogTarget {
    std::wstring path;     // the full path; empty for no file (absent, "" or "none")
    std::wstring problem;  // why it is refused; empty when it is not
};

// A relative name must be one plain file name, which lands in the data
// directory; a name starting with one separator is on its drive. Refused:
// anything that resolves elsewhere ("..", another folder or drive), UNC and
// "\\?\" or "\\.\" forms, a drive letter without a separator, streams,
// device names and names ending in a dot or blank, controls and <>"|?*.
CoreLogTarget ResolveCoreLogPath(const std::wstring& value, const std::wstring& dataDirectory);

}  // namespace velk
