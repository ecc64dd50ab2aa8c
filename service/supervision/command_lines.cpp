#include "service/supervision/command_lines.h"

namespace velk {

std::wstring ComposeCoreCommandLine(const std::wstring& programPath,
                                    const std::wstring& configPath) {
    const std::size_t trailing = configPath.size() - (configPath.find_last_not_of(L'\\') + 1);
    return L"\"" + programPath + L"\" run -config \"" + configPath + std::wstring(trailing, L'\\') +
           L"\"";
}

std::wstring ComposeHelperCommandLine(const std::wstring& programPath,
                                      const std::wstring& arguments) {
    return L"\"" + programPath + L"\" " + arguments;
}

}  // namespace velk
