#include "service/policy/core_log_settings.h"

#include <cstddef>
#include <string>
#include <vector>

#include "common/wide_text.h"
#include "service/policy/ascii_fold.h"
#include "service/policy/path_grammar.h"

namespace velk {
namespace {

// The core disables a log whose name is exactly this.
constexpr wchar_t kNoLog[] = L"none";

// Resolves `path` (full, "X:\..." with backslashes) as Windows does; why a
// name in it is refused, or empty text. Every name is judged, also one that
// a later ".." takes away: Windows may still open it on the way.
std::wstring Normalize(const std::wstring& path, std::wstring& full) {
    const std::vector<std::wstring> names = PathNames(path, NamesStart(PathForm::kDriveAbsolute));
    for (const std::wstring& name : names) {
        if (KindOfName(name) != NameKind::kPlain) {
            continue;
        }
        const std::wstring problem = PathNameProblem(name);
        if (!problem.empty()) {
            return problem;
        }
    }
    full = path.substr(0, 2);
    for (const std::wstring& name : ResolveNames(names)) {
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
    const PathForm form = ClassifyPath(path);
    if (form == PathForm::kRelative && HoldsPathSeparator(path)) {
        return {{}, L"a relative name with a folder in it (one plain file name only)"};
    }
    if (form == PathForm::kUnc || form == PathForm::kDevice) {
        return {{}, L"a UNC or device path"};
    }
    if (form == PathForm::kDriveRelative) {
        return {{}, L"a drive letter without a separator"};
    }
    if (HoldsStreamOrScheme(path)) {
        return {{}, L"holds a colon (a stream or a scheme)"};
    }
    const std::wstring absolute = form == PathForm::kDriveAbsolute ? path
                                  : form == PathForm::kRootRelative
                                      ? dataDirectory.substr(0, 2) + path
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
