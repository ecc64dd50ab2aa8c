#pragma once
// The command lines the service composes for its children, and the tail
// window of the error log reader. Portable, so both builds check them.
#include <cstdint>
#include <string>

namespace velk {

// "\"<programPath>\" run -config \"<configPath>\"", so that the core's
// arguments are exactly run, -config and the path. Backslashes at the end of
// the path are doubled, as the Windows argument rules need before a closing
// quote. A path holding a double quote cannot be passed whole and must be
// refused before this is called.
std::wstring ComposeCoreCommandLine(const std::wstring& programPath,
                                    const std::wstring& configPath);

// "\"<programPath>\" <arguments>".
std::wstring ComposeHelperCommandLine(const std::wstring& programPath,
                                      const std::wstring& arguments);

// Where reading starts so that at most maxBytes of a file of fileSize bytes
// are read: fileSize - maxBytes when the file is larger, else 0. A negative
// maxBytes is taken as 0 (nothing is read).
std::int64_t TailStartOffset(std::int64_t fileSize, std::int64_t maxBytes);

}  // namespace velk
