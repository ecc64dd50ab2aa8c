#include "service/supervision/core_log_settings.h"

#include <cstddef>
#include <string>
#include <vector>

#include "common/wide_text.h"
#include "service/supervision/config_path_rules.h"

namespace velk {
namespace {

// The core disables a log whose name is exactly this.
constexpr wchar_t kNoLog[] = L"none";

bool SameAsciiFolded(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](wchar_t c) {
            return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// Resolves `path` (full, "X:\..." with backslashes) step by step as Windows
// does; why a name in it is refused, or empty text.
std::wstring Normalize(const std::wstring& path, std::wstring& full) {
    std::vector<std::wstring> names;
    std::size_t start = 3;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        const std::wstring name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == L".") {
            continue;
        }
        if (name == L"..") {
            if (!names.empty()) {
                names.pop_back();
            }
            continue;
        }
        const std::wstring problem = PathNameProblem(name);
        if (!problem.empty()) {
            return problem;
        }
        names.push_back(name);
    }
    full = path.substr(0, 2);
    for (const std::wstring& name : names) {
        full += L"\\" + name;
    }
    return {};
}

}  // namespace

CoreLogTarget ResolveCoreLogPath(const std::wstring& value, const std::wstring& dataDirectory) {
    if (value.empty() || value == kNoLog) {
        return {};
    }
    if (HoldsForbiddenCharacter(value)) {
        return {{}, L"holds a character no file name may hold"};
    }
    std::wstring path = value;
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    const bool drive = path.size() >= 2 && path[1] == L':';
    if (!drive && path[0] != L'\\' && path.find(L'\\') != std::wstring::npos) {
        return {{}, L"a relative name with a folder in it (one plain file name only)"};
    }
    if (path.compare(0, 2, L"\\\\") == 0) {
        return {{}, L"a UNC or device path"};
    }
    if (drive && (path.size() < 3 || path[2] != L'\\')) {
        return {{}, L"a drive letter without a separator"};
    }
    if (path.find(L':', drive ? 2 : 0) != std::wstring::npos) {
        return {{}, L"holds a colon (a stream or a scheme)"};
    }
    std::wstring absolute = drive              ? path
                            : path[0] == L'\\' ? dataDirectory.substr(0, 2) + path
                                               : dataDirectory + L"\\" + path;
    std::wstring full;
    const std::wstring problem = Normalize(absolute, full);
    if (!problem.empty()) {
        return {{}, problem};
    }
    const std::wstring inside = dataDirectory + L"\\";
    if (full.size() <= inside.size() || !SameAsciiFolded(full.substr(0, inside.size()), inside)) {
        return {{}, L"outside the data folder: " + full};
    }
    return {full, {}};
}

}  // namespace velk
