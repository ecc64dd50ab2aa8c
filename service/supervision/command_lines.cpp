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

std::int64_t TailStartOffset(std::int64_t fileSize, std::int64_t maxBytes) {
    if (fileSize <= 0) {
        return 0;
    }
    if (maxBytes <= 0) {
        return fileSize;
    }
    return fileSize > maxBytes ? fileSize - maxBytes : 0;
}

}  // namespace velk
