#pragma once
// What a configuration makes the core write: the "log" object's "access" and
// "error" files. The core runs as SYSTEM, so each must be no file, or one
// inside the data directory. Portable.
#include <string>

namespace velk {

// Where the core puts a log named `value`, run with `dataDirectory` (a full
// path without a trailing separator) as its working directory.
struct CoreLogTarget {
    std::wstring path;     // the full path; empty for no file (absent, "" or "none")
    std::wstring problem;  // why it is refused; empty when it is not
};

// Relative names resolve inside the data directory, a name starting with one
// separator on its drive. Refused: anything that resolves elsewhere ("..",
// another folder or drive), UNC and "\\?\" or "\\.\" forms, a drive letter
// without a separator, streams, device names and names ending in a dot or
// blank, controls and <>"|?*.
CoreLogTarget ResolveCoreLogPath(const std::wstring& value, const std::wstring& dataDirectory);

// Why the core may not be given the configuration `bytes`, or empty text.
// They must be one JSON object (comments allowed, as the core allows them);
// its "log", when there, an object or null; "access" and "error" in it
// strings or null, each as ResolveCoreLogPath allows. Keys match in any
// letter case, as the core's JSON decoder matches them, so two keys for the
// same setting (which the decoder would merge) are refused too.
std::wstring CoreConfigProblem(const std::string& bytes, const std::wstring& dataDirectory);

}  // namespace velk
