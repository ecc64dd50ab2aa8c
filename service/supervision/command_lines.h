#pragma once
// The command lines the service composes for its children. Portable, so both
// builds check them.
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

}  // namespace velk
