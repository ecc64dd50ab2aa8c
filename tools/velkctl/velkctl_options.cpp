#include "tools/velkctl/velkctl_options.h"

#include <cwctype>
#include <cstddef>

#include "velk_version.h"

namespace velk::velkctl {
namespace {

// HostAndDns: a host, then optionally the tunnel's DNS servers as one word.
enum class ArgumentKind { None, RestOfLine, Word, HostAndDns };

struct Action {
    const wchar_t* name;
    ArgumentKind argument;
};

const Action kActions[] = {
    {L"status", ArgumentKind::None},
    {L"xray_status", ArgumentKind::None},
    {L"xray_stop", ArgumentKind::None},
    {L"xray_last_error", ArgumentKind::None},
    {L"xray_start", ArgumentKind::RestOfLine},
    {L"route_start", ArgumentKind::HostAndDns},
    {L"route_stop", ArgumentKind::Word},
    {L"start", ArgumentKind::HostAndDns},
    {L"stop", ArgumentKind::Word},
};

bool HasWhiteSpace(const std::wstring& text) {
    for (const wchar_t c : text) {
        if (std::iswspace(static_cast<wint_t>(c))) {
            return true;
        }
    }
    return false;
}

bool ParseWait(const std::wstring& text, std::uint32_t& value) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    std::uint32_t result = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        result = result * 10 + static_cast<std::uint32_t>(c - L'0');
    }
    value = result;
    return true;
}

Invocation Refuse(const std::wstring& why) {
    Invocation invocation;
    invocation.error = why;
    return invocation;
}

// Takes `prefix` and the field's value up to the next ";" from `line` at `at`.
bool TakeField(const std::wstring& line, std::size_t& at, const std::wstring& prefix,
               std::wstring& value) {
    if (line.compare(at, prefix.size(), prefix) != 0) {
        return false;
    }
    const std::size_t start = at + prefix.size();
    const std::size_t end = line.find(L';', start);
    if (end == std::wstring::npos) {
        return false;
    }
    value = line.substr(start, end - start);
    at = end;
    return true;
}

bool ParseBool(const std::wstring& text, bool& value) {
    if (text == L"true" || text == L"false") {
        value = text == L"true";
        return true;
    }
    return false;
}

bool IsCode(const std::wstring& text) {
    const std::size_t digitsFrom = !text.empty() && text[0] == L'-' ? 1 : 0;
    if (text.size() == digitsFrom) {
        return false;
    }
    for (std::size_t i = digitsFrom; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') {
            return false;
        }
    }
    return true;
}

void AppendEscaped(std::wstring& out, wchar_t c) {
    static const wchar_t kHex[] = L"0123456789abcdef";
    const auto unit = static_cast<unsigned>(c) & 0xFFFFu;
    switch (c) {
        case L'"':
            out += L"\\\"";
            return;
        case L'\\':
            out += L"\\\\";
            return;
        case L'\b':
            out += L"\\b";
            return;
        case L'\f':
            out += L"\\f";
            return;
        case L'\n':
            out += L"\\n";
            return;
        case L'\r':
            out += L"\\r";
            return;
        case L'\t':
            out += L"\\t";
            return;
        default:
            break;
    }
    if (unit >= 0x20 && unit < 0x7F) {
        out += c;
        return;
    }
    out += L"\\u";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += kHex[(unit >> shift) & 0xFu];
    }
}

}  // namespace

Invocation ParseInvocation(const std::vector<std::wstring>& arguments) {
    Invocation invocation;
    std::size_t i = 0;
    for (; i < arguments.size(); ++i) {
        const std::wstring& option = arguments[i];
        if (option == L"--json") {
            invocation.json = true;
        } else if (option == L"--wait") {
            if (i + 1 >= arguments.size() || !ParseWait(arguments[i + 1], invocation.waitMs)) {
                return Refuse(L"--wait needs a number of milliseconds");
            }
            ++i;
        } else if (option == L"--help" || option == L"-h" || option == L"/?") {
            invocation.help = true;
            invocation.valid = true;
            return invocation;
        } else if (option == L"--version") {
            invocation.version = true;
            invocation.valid = true;
            return invocation;
        } else {
            break;
        }
    }
    if (i >= arguments.size()) {
        return Refuse(L"no action given");
    }
    const std::wstring& action = arguments[i];
    const std::vector<std::wstring> rest(arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                         arguments.end());
    if (action == L"--raw") {
        if (rest.size() != 1) {
            return Refuse(L"--raw takes exactly one request text");
        }
        invocation.request = rest[0];
    } else {
        const Action* found = nullptr;
        for (const Action& candidate : kActions) {
            if (action == candidate.name) {
                found = &candidate;
            }
        }
        if (found == nullptr) {
            return Refuse(L"unknown action: " + action);
        }
        switch (found->argument) {
            case ArgumentKind::None:
                if (!rest.empty()) {
                    return Refuse(action + L" takes no argument");
                }
                invocation.request = action;
                break;
            case ArgumentKind::RestOfLine:
                if (rest.size() != 1 || rest[0].empty()) {
                    return Refuse(action + L" needs one config path (quote it if it has blanks)");
                }
                if (rest[0].find(L'\n') != std::wstring::npos) {
                    return Refuse(L"the config path must not hold a line break");
                }
                // The service strips one pair of enclosing quotes, so blanks
                // inside the path survive.
                invocation.request = action + L" \"" + rest[0] + L"\"";
                break;
            case ArgumentKind::Word:
                if (rest.size() != 1 || rest[0].empty() || HasWhiteSpace(rest[0])) {
                    return Refuse(action + L" needs one server host without blanks");
                }
                invocation.request = action + L" " + rest[0];
                break;
            case ArgumentKind::HostAndDns:
                if (rest.empty() || rest.size() > 2 || rest[0].empty() || HasWhiteSpace(rest[0]) ||
                    (rest.size() == 2 && (rest[1].empty() || HasWhiteSpace(rest[1])))) {
                    return Refuse(action +
                                  L" needs one server host and may take the tunnel's DNS servers "
                                  L"(a,b), each without blanks");
                }
                invocation.request = action + L" " + rest[0];
                if (rest.size() == 2) {
                    invocation.request += L" " + rest[1];
                }
                break;
        }
    }
    if (invocation.request.size() > kMaxRequestUnits) {
        return Refuse(L"the request is longer than the service accepts (2047 characters)");
    }
    invocation.valid = true;
    return invocation;
}

std::wstring UsageText() {
    return L"Usage: velkctl [--json] [--wait <ms>] <action> [<argument>]\r\n"
           L"       velkctl [--json] [--wait <ms>] --raw \"<request text>\"\r\n"
           L"       velkctl --version\r\n"
           L"Actions: status, xray_status, xray_stop, xray_last_error,\r\n"
           L"         xray_start \"<config path>\", route_start <host> [<dns>,...],\r\n"
           L"         route_stop <host>, start <host> [<dns>,...], stop <host>\r\n"
           L"--wait: how long to wait for the service's pipe while it is busy (default "
           L"10000 ms).\r\n"
           L"Exit code: 0 for ok=true, 1 for ok=false, 2 when no answer was had.\r\n";
}

std::wstring VersionText() {
    return std::wstring(L"velkctl ") + velk::kProductVersion + L"\r\n";
}

ResponseFields ParseResponseLine(const std::wstring& line) {
    ResponseFields fields;
    std::size_t at = 0;
    std::wstring value;
    if (!TakeField(line, at, L"ok=", value) || !ParseBool(value, fields.ok)) {
        return {};
    }
    if (!TakeField(line, at, L";exitCode=", fields.exitCode) || !IsCode(fields.exitCode)) {
        return {};
    }
    if (TakeField(line, at, L";running=", value)) {
        if (!ParseBool(value, fields.running)) {
            return {};
        }
        fields.hasRunning = true;
    }
    const std::wstring messagePrefix = L";message=";
    if (line.compare(at, messagePrefix.size(), messagePrefix) != 0) {
        return {};
    }
    fields.message = line.substr(at + messagePrefix.size());
    fields.valid = true;
    return fields;
}

std::wstring ResponseJson(const ResponseFields& fields) {
    std::wstring json = L"{\"ok\":";
    json += fields.ok ? L"true" : L"false";
    json += L",\"exitCode\":" + fields.exitCode;
    if (fields.hasRunning) {
        json += L",\"running\":";
        json += fields.running ? L"true" : L"false";
    }
    json += L",\"message\":\"";
    for (const wchar_t c : fields.message) {
        AppendEscaped(json, c);
    }
    json += L"\"}";
    return json;
}

int ExitCodeFor(const ResponseFields& fields) {
    if (!fields.valid) {
        return kExitNoAnswer;
    }
    return fields.ok ? kExitOk : kExitNotOk;
}

}  // namespace velk::velkctl
