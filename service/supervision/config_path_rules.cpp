#include "service/supervision/config_path_rules.h"

#include <cstddef>

namespace velk {
namespace {

constexpr std::size_t kMaxPathLength = 32767;
constexpr const wchar_t* kRefusedExtensions[] = {L".yaml", L".yml", L".toml"};

wchar_t AsciiUpper(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

std::wstring AsciiUpper(const std::wstring& text) {
    std::wstring upper = text;
    for (wchar_t& c : upper) {
        c = AsciiUpper(c);
    }
    return upper;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsDriveLetter(wchar_t c) {
    return AsciiUpper(c) >= L'A' && AsciiUpper(c) <= L'Z';
}

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
    std::wstring base = AsciiUpper(name.substr(0, name.find(L'.')));
    while (!base.empty() && (base.back() == L' ' || base.back() == L'.')) {
        base.pop_back();
    }
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (base == device) {
            return true;
        }
    }
    return base.size() == 4 &&
           (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
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
    if (path.size() < 3 || !IsDriveLetter(path[0]) || path[1] != L':' || !IsSeparator(path[2])) {
        return L"not a full path on a drive letter (UNC, device, URL or relative form)";
    }
    if (path.find(L':', 2) != std::wstring::npos) {
        return L"holds a colon after the drive (a stream or a scheme)";
    }
    std::size_t start = 3;
    for (;;) {
        std::size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) {
            ++end;
        }
        const std::wstring name = path.substr(start, end - start);
        if (name.empty() || name == L"." || name == L"..") {
            return L"holds an empty, \".\" or \"..\" name";
        }
        const std::wstring problem = PathNameProblem(name);
        if (!problem.empty()) {
            return problem;
        }
        if (end == path.size()) {
            break;
        }
        start = end + 1;
    }
    const std::wstring upper = AsciiUpper(path);
    for (const wchar_t* extension : kRefusedExtensions) {
        if (EndsWith(upper, AsciiUpper(extension))) {
            return L"a YAML or TOML configuration (only JSON is accepted)";
        }
    }
    return {};
}

}  // namespace velk
