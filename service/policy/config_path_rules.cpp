#include "service/policy/config_path_rules.h"

#include <cstddef>

#include "service/policy/ascii_fold.h"
#include "service/policy/path_grammar.h"

namespace velk {
namespace {

constexpr std::size_t kMaxPathLength = 32767;
constexpr const wchar_t* kRefusedExtensions[] = {L".yaml", L".yml", L".toml"};

bool IsPortDigit(wchar_t c) {
    // Windows also takes superscript one, two and three as port numbers.
    return (c >= L'0' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3';
}

bool EndsWith(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

bool IsDeviceName(const std::wstring& name) {
    std::wstring base = AsciiLower(name.substr(0, name.find(L'.')));
    while (!base.empty() && (base.back() == L' ' || base.back() == L'.')) {
        base.pop_back();
    }
    for (const wchar_t* device : {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"}) {
        if (base == device) {
            return true;
        }
    }
    return base.size() == 4 &&
           (base.compare(0, 3, L"com") == 0 || base.compare(0, 3, L"lpt") == 0) &&
           IsPortDigit(base[3]);
}

std::wstring PathNameProblem(const std::wstring& name) {
    if (IsDeviceName(name)) {
        return L"names a device: " + name;
    }
    if (!name.empty() && (name.back() == L'.' || name.back() == L' ')) {
        return L"a name ends in a dot or blank: " + name;
    }
    return {};
}

bool HoldsForbiddenCharacter(const std::wstring& text) {
    for (const wchar_t c : text) {
        if (c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' ||
            c == L'*') {
            return true;
        }
    }
    return false;
}

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
