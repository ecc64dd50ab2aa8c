#include "service/policy/path_grammar.h"

#include "service/policy/ascii_fold.h"

namespace velk {
namespace {

bool IsPortDigit(wchar_t c) {
    // Windows also takes superscript one, two and three as port numbers.
    return (c >= L'0' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3';
}

bool IsDriveLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool IsDriveForm(PathForm form) {
    return form == PathForm::kDriveAbsolute || form == PathForm::kDriveRelative;
}

}  // namespace

bool IsPathSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool HoldsPathSeparator(const std::wstring& text) {
    for (const wchar_t c : text) {
        if (IsPathSeparator(c)) {
            return true;
        }
    }
    return false;
}

PathForm ClassifyPath(const std::wstring& path) {
    if (path.empty()) {
        return PathForm::kEmpty;
    }
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        const bool device = path.size() >= 3 && (path[2] == L'?' || path[2] == L'.') &&
                            (path.size() == 3 || IsPathSeparator(path[3]));
        return device ? PathForm::kDevice : PathForm::kUnc;
    }
    if (IsPathSeparator(path[0])) {
        return PathForm::kRootRelative;
    }
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') {
        return path.size() >= 3 && IsPathSeparator(path[2]) ? PathForm::kDriveAbsolute
                                                            : PathForm::kDriveRelative;
    }
    return PathForm::kRelative;
}

std::size_t NamesStart(PathForm form) {
    switch (form) {
        case PathForm::kDriveAbsolute:
            return 3;
        case PathForm::kDriveRelative:
            return 2;
        case PathForm::kRootRelative:
            return 1;
        case PathForm::kEmpty:
        case PathForm::kUnc:
        case PathForm::kDevice:
        case PathForm::kRelative:
            break;
    }
    return 0;
}

bool HoldsStreamOrScheme(const std::wstring& path) {
    return path.find(L':', IsDriveForm(ClassifyPath(path)) ? 2 : 0) != std::wstring::npos;
}

std::vector<std::wstring> PathNames(const std::wstring& path, std::size_t start) {
    std::vector<std::wstring> names;
    if (start > path.size()) {
        return names;
    }
    for (;;) {
        std::size_t end = start;
        while (end < path.size() && !IsPathSeparator(path[end])) {
            ++end;
        }
        names.push_back(path.substr(start, end - start));
        if (end == path.size()) {
            return names;
        }
        start = end + 1;
    }
}

NameKind KindOfName(const std::wstring& name) {
    if (name.empty()) {
        return NameKind::kEmpty;
    }
    if (name == L".") {
        return NameKind::kCurrent;
    }
    return name == L".." ? NameKind::kParent : NameKind::kPlain;
}

std::vector<std::wstring> ResolveNames(const std::vector<std::wstring>& names) {
    std::vector<std::wstring> resolved;
    for (const std::wstring& name : names) {
        switch (KindOfName(name)) {
            case NameKind::kEmpty:
            case NameKind::kCurrent:
                break;
            case NameKind::kParent:
                if (!resolved.empty()) {
                    resolved.pop_back();
                }
                break;
            case NameKind::kPlain:
                resolved.push_back(name);
                break;
        }
    }
    return resolved;
}

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

}  // namespace velk
