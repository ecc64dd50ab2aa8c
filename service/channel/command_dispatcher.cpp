#include "service/channel/command_dispatcher.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/wide_text.h"
#include "netsteer/machine/dns_server_list.h"
#include "service/policy/action_table.h"
#include "service/service_constants.h"

namespace velk {
namespace {

constexpr wchar_t kMissingAction[] = L"ok=false;exitCode=-1;message=missing action";
constexpr wchar_t kUnknownAction[] = L"ok=false;exitCode=-2;message=unknown action";
constexpr wchar_t kMissingConfigPath[] = L"ok=false;exitCode=-3;message=missing config path";
constexpr wchar_t kMissingServerHost[] = L"ok=false;exitCode=-3;message=missing serverHost";
constexpr wchar_t kServiceRunning[] = L"ok=true;exitCode=0;message=service running";
// 5 is ERROR_ACCESS_DENIED.
constexpr wchar_t kAccessDenied[] = L"ok=false;exitCode=5;message=access denied";

// Words are separated by what the Windows C runtime's iswspace reports as
// space in the C locale (measured under Wine for every code unit): the ASCII
// blank, tab, LF, VT, FF and CR, the no-break space U+00A0 and the Unicode
// space and line/paragraph separators. Spelling the class out keeps the
// native build, whose C library knows only the ASCII ones, in step with the
// Windows one. U+0085 is not in it, as on Windows. U+FFFF is an ordinary code
// unit here although the Windows stream would mistake it for end-of-file.
bool IsWhiteSpace(wchar_t unit) {
    const auto value = static_cast<std::uint32_t>(unit);
    return value == 0x20 || (value >= 0x09 && value <= 0x0D) || value == 0xA0 || value == 0x1680 ||
           (value >= 0x2000 && value <= 0x200A) || value == 0x2028 || value == 0x2029 ||
           value == 0x202F || value == 0x205F || value == 0x3000;
}

// Reads the next word from `position` on, leaving `position` just after it.
std::wstring ExtractWord(const std::wstring& text, std::size_t& position) {
    while (position < text.size() && IsWhiteSpace(text[position])) {
        ++position;
    }
    const std::size_t start = position;
    while (position < text.size() && !IsWhiteSpace(text[position])) {
        ++position;
    }
    return text.substr(start, position - start);
}

// The configuration path of xray_start: the rest of the first line, with
// leading blanks (only blanks) removed and one pair of enclosing quotes
// dropped.
std::wstring ExtractConfigPath(const std::wstring& text, std::size_t position) {
    std::size_t end = text.find(L'\n', position);
    if (end == std::wstring::npos) {
        end = text.size();
    }
    while (position < end && text[position] == L' ') {
        ++position;
    }
    std::wstring path = text.substr(position, end - position);
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
        path = path.substr(1, path.size() - 2);
    }
    return path;
}

const wchar_t* BoolText(bool value) {
    return value ? L"true" : L"false";
}

std::wstring ResultLine(const OpResult& result, const wchar_t* message) {
    return std::wstring(L"ok=") + BoolText(result.ok) + L";exitCode=" + ToDecimal(result.code) +
           L";message=" + message;
}

}  // namespace

std::wstring HandleCommand(const std::wstring& request, RequestCaller& caller,
                           SessionAccess& sessions, CommandOperations& operations,
                           const LogSink& log) {
    LogTo(log, L"Received command: " + request);

    std::size_t position = 0;
    const std::wstring word = ExtractWord(request, position);
    if (word.empty()) {
        return kMissingAction;
    }
    const ActionRow* row = FindAction(word);
    if (row == nullptr) {
        return kUnknownAction;
    }

    // A malformed request gets the same answer from everyone, and the caller
    // is learnt only for guarded actions, so that a refusal costs little more
    // than a `status` and a `status` nothing more than before.
    std::wstring argument;
    if (row->handler == ActionHandler::kCoreStart) {
        argument = ExtractConfigPath(request, position);
        if (argument.empty()) {
            return kMissingConfigPath;
        }
    } else if (row->handler == ActionHandler::kRouteHelper) {
        argument = ExtractWord(request, position);
        if (argument.empty()) {
            return kMissingServerHost;
        }
    }
    if (row->guard && !sessions.Admit(*row->guard, caller.Identity(), operations)) {
        LogTo(log, std::wstring(L"Response: ") + kAccessDenied);
        return kAccessDenied;
    }
    // The response to an action carried out, noted in the sessions.
    const auto carried = [&](const OpResult& result, const wchar_t* message) {
        if (row->guard) {
            sessions.Record(*row->guard, caller.Identity(), result);
        }
        return ResultLine(result, message);
    };

    std::wstring response;
    switch (row->handler) {
        case ActionHandler::kServiceStatus:
            return kServiceRunning;
        case ActionHandler::kCoreStatus: {
            const XrayStatus status = operations.QueryXrayStatus();
            response = std::wstring(L"ok=true;exitCode=") + ToDecimal(status.code) + L";running=" +
                       BoolText(status.running) + L";message=xray status";
            break;
        }
        case ActionHandler::kCoreStop:
            response = carried(operations.StopXray(), L"xray stopped");
            break;
        case ActionHandler::kCoreStart: {
            const CoreStartOutcome outcome =
                operations.StartXray(argument, caller.ReadAccess(), caller.Identity().userSid);
            response = carried(AnswerOf(outcome), L"xray start finished");
            break;
        }
        case ActionHandler::kCoreLastError: {
            // Not logged: the core's output is for the caller, not the
            // service log.
            std::wstring text = operations.ReadCoreLogTail(CoreLog::kRuntime, kErrorLogTailBytes);
            if (text.empty()) {
                text = operations.ReadCoreLogTail(CoreLog::kError, kErrorLogTailBytes);
            }
            return L"ok=true;exitCode=0;message=" + text;
        }
        case ActionHandler::kRouteHelper: {
            // The host is passed on exactly as received, in quotes.
            const std::wstring programPath = operations.GetModuleDirectory() + kHelperProgramName;
            std::wstring arguments = std::wstring(row->helperVerb) + L" \"" + argument + L"\"";
            // route_start's optional DNS servers go on to netsteer only as a
            // list it takes; any other words after the host are ignored, as
            // before there were servers to pass.
            const std::wstring dns = ExtractWord(request, position);
            std::vector<std::wstring> servers;
            if (row->guard == GuardedAction::kRouteStart &&
                netsteer::ParseDnsServers(dns, servers)) {
                arguments += L" " + dns;
            }
            response =
                carried(operations.RunHelperProcess(programPath, arguments, kHelperTimeoutMs),
                        L"helper finished");
            break;
        }
    }

    LogTo(log, L"Response: " + response);
    return response;
}

}  // namespace velk
