#include "service/policy/config_path_rules.h"

#include <cstddef>

#include "service/policy/ascii_fold.h"
#include "service/policy/path_grammar.h"

namespace velk {
namespace {

constexpr std::size_t kMaxPathLength = 32767;
constexpr const wchar_t* kRefusedExtensions[] = {L".yaml", L".yml", L".toml"};

bool EndsWith(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::wstring ConfigPathProblem(const std::wstring& path) {
    if (path.size() > kMaxPathLength) {
        return L"longer than any Windows path";
    }
    if (HoldsForbiddenCharacter(path)) {
        return L"holds a character no file name may hold";
    }
    if (ClassifyPath(path) != PathForm::kDriveAbsolute) {
        return L"not a full path on a drive letter (UNC, device, URL or relative form)";
    }
    if (HoldsStreamOrScheme(path)) {
        return L"holds a colon after the drive (a stream or a scheme)";
    }
    for (const std::wstring& name : PathNames(path, NamesStart(PathForm::kDriveAbsolute))) {
        if (KindOfName(name) != NameKind::kPlain) {
            return L"holds an empty, \".\" or \"..\" name";
        }
        const std::wstring problem = PathNameProblem(name);
        if (!problem.empty()) {
            return problem;
        }
    }
    const std::wstring lower = AsciiLower(path);
    for (const wchar_t* extension : kRefusedExtensions) {
        if (EndsWith(lower, extension)) {
            return L"a YAML or TOML configuration (only JSON is accepted)";
        }
    }
    return {};
}

}  // namespace velk
