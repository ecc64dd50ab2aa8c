#include "service/supervision/command_lines.h"

namespace velk {

std::wstring ComposeCoreCommandLine(const std::wstring& programPath,
                                    const std::wstring& configPath) {
    return L"\"" + programPath + L"\" run -config \"" + configPath + L"\"";
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
