#include "service/policy/core_config_policy.h"

#include <cstddef>
#include <string>

#include "common/wide_text.h"
#include "service/policy/ascii_fold.h"
#include "service/policy/path_grammar.h"
#include "service/policy/core_log_settings.h"

namespace velk {
namespace {

using Json = nlohmann::json;

struct TopLevelField {
    const char* key;  // folded
    CoreFieldRule rule;
    const wchar_t* why = nullptr;  // for a refused one
};

// Every top-level key of the core's configuration (xray's, which holds
// v4's), reviewed. The ones not listed (v4's old "inbound", "inboundDetour"
// and the like, and whatever a newer core adds) are refused.
constexpr TopLevelField kTopLevelFields[] = {
    {"log", CoreFieldRule::kLogFiles},
    {"api", CoreFieldRule::kStatsOnlyApi},
    {"inbounds", CoreFieldRule::kListeners},
    {"metrics", CoreFieldRule::kRefused, L"opens a metrics and profiling listener"},
    {"outbounds", CoreFieldRule::kFree},
    {"routing", CoreFieldRule::kFree},
    {"dns", CoreFieldRule::kFree},
    {"fakedns", CoreFieldRule::kFree},
    {"policy", CoreFieldRule::kFree},
    {"stats", CoreFieldRule::kFree},
    {"transport", CoreFieldRule::kFree},
    {"reverse", CoreFieldRule::kFree},
    {"observatory", CoreFieldRule::kFree},
    {"burstobservatory", CoreFieldRule::kFree},
};

struct AnywhereField {
    const char* key;  // folded
    const wchar_t* why;
};

// Keys refused at any depth: inbounds, outbounds and the global "transport"
// all carry stream settings.
constexpr AnywhereField kRefusedAnywhere[] = {
    {"certificatefile", L"makes the core read a file as SYSTEM (give \"certificate\" inline)"},
    {"keyfile", L"makes the core read a file as SYSTEM (give \"key\" inline)"},
    {"masterkeylog", L"makes the core write a file as SYSTEM"},
    {"dssettings", L"sets up a domain socket"},
};

// The one control service that only reads: traffic statistics, which
// graphical clients show. The others add handlers and rules, or restart the
// logger, for anyone who can reach the port.
constexpr char kStatsService[] = "statsservice";

// Routing and DNS lists name data files beside the core with these prefixes
// ("ext:geo.dat:tag"); the core joins the name to its asset folder.
constexpr const char* kAssetPrefixes[] = {"ext:", "ext-domain:", "ext-ip:"};

std::wstring Quoted(const std::string& key) {
    return L"\"" + Utf8ToWide(key) + L"\"";
}

// A value as the core lowers it before comparing (Go's strings.ToLower):
// ASCII letters, and the two letters whose lower case is an ASCII one, the
// Kelvin sign (k) and the capital I with a dot (i). Used where a match
// refuses, so that "domainsoc\u212Aet" is refused as the core would read it;
// where a match admits, AsciiLower's narrower folding only refuses more.
std::string CoreLowered(const std::string& text) {
    std::string lower;
    lower.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text.compare(at, 3, "\xE2\x84\xAA") == 0) {
            lower += 'k';
            at += 2;
        } else if (text.compare(at, 2, "\xC4\xB0") == 0) {
            lower += 'i';
            at += 1;
        } else {
            lower += text[at];
        }
    }
    return AsciiLower(lower);
}

bool IsIpv4Literal(const std::string& text) {
    int parts = 0;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find('.', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string part = text.substr(at, end - at);
        if (part.empty() || part.size() > 3 ||
            part.find_first_not_of("0123456789") != std::string::npos || std::stoi(part) > 255) {
            return false;
        }
        ++parts;
        at = end + 1;
    }
    return parts == 4;
}

bool IsIpv6Literal(const std::string& text) {
    return text.find(':') != std::string::npos &&
           text.find_first_not_of("0123456789abcdefABCDEF:.") == std::string::npos;
}

// An address to listen on, never a socket path ("/run/x.sock", "@name").
bool IsListenAddress(const std::string& text) {
    return IsIpv4Literal(text) || IsIpv6Literal(text) || AsciiLower(text) == "localhost";
}

std::wstring LogFilesProblem(const Json& log, const std::wstring& dataDirectory) {
    if (log.is_null()) {
        return {};
    }
    if (!log.is_object()) {
        return L"\"log\" is not an object";
    }
    for (const auto& [key, value] : log.items()) {
        const std::string folded = FoldedKey(key);
        if (folded != "access" && folded != "error") {
            continue;
        }
        if (value.is_null()) {
            continue;
        }
        if (!value.is_string()) {
            return L"a log name is not a string";
        }
        const CoreLogTarget target =
            ResolveCoreLogPath(Utf8ToWide(value.get<std::string>()), dataDirectory);
        if (!target.problem.empty()) {
            return Quoted(folded) + L" log " + target.problem;
        }
    }
    return {};
}

std::wstring ApiProblem(const Json& api) {
    if (api.is_null()) {
        return {};
    }
    if (!api.is_object()) {
        return L"\"api\" is not an object";
    }
    for (const auto& [key, value] : api.items()) {
        if (FoldedKey(key) != "services" || value.is_null()) {
            continue;
        }
        if (!value.is_array()) {
            return L"the control API's services are not a list";
        }
        for (const Json& service : value) {
            if (!service.is_string() || AsciiLower(service.get<std::string>()) != kStatsService) {
                return L"the control API may offer only \"StatsService\", not " +
                       Utf8ToWide(service.dump());
            }
        }
    }
    return {};
}

std::wstring ListenersProblem(const Json& inbounds) {
    if (inbounds.is_null()) {
        return {};
    }
    if (!inbounds.is_array()) {
        return L"\"inbounds\" is not a list";
    }
    for (const Json& inbound : inbounds) {
        if (!inbound.is_object()) {
            continue;  // the core refuses it itself
        }
        for (const auto& [key, value] : inbound.items()) {
            if (FoldedKey(key) != "listen" || value.is_null()) {
                continue;
            }
            if (!value.is_string() || !IsListenAddress(value.get<std::string>())) {
                return L"an inbound listens on " + Utf8ToWide(value.dump()) +
                       L", not on an IP address (a socket path?)";
            }
        }
    }
    return {};
}

// Why an "ext:" reference in `text` is refused, or empty text (also for text
// that is no such reference).
std::wstring AssetReferenceProblem(const std::string& text) {
    const std::string lower = AsciiLower(text);
    for (const char* prefix : kAssetPrefixes) {
        const std::string start(prefix);
        if (lower.compare(0, start.size(), start) != 0) {
            continue;
        }
        const std::size_t end = text.find(':', start.size());
        const std::wstring name = Utf8ToWide(text.substr(
            start.size(), end == std::string::npos ? std::string::npos : end - start.size()));
        if (KindOfName(name) != NameKind::kPlain || HoldsPathSeparator(name) ||
            HoldsForbiddenCharacter(name) || !PathNameProblem(name).empty()) {
            return L"\"" + Utf8ToWide(text) +
                   L"\" names no plain file beside the core (one name, no folder)";
        }
        return {};
    }
    return {};
}

// The rules that hold at every depth, for `value` and all it holds.
std::wstring AnywhereProblem(const Json& value) {
    if (value.is_string()) {
        return AssetReferenceProblem(value.get<std::string>());
    }
    if (value.is_array()) {
        for (const Json& item : value) {
            std::wstring problem = AnywhereProblem(item);
            if (!problem.empty()) {
                return problem;
            }
        }
        return {};
    }
    if (!value.is_object()) {
        return {};
    }
    for (const auto& [key, item] : value.items()) {
        std::wstring problem = AssetReferenceProblem(key);
        if (!problem.empty()) {
            return problem;
        }
        const std::string folded = FoldedKey(key);
        for (const AnywhereField& field : kRefusedAnywhere) {
            if (folded == field.key) {
                return Quoted(key) + L" " + field.why;
            }
        }
        if (item.is_string()) {
            const std::string text = item.get<std::string>();
            const std::string lower = CoreLowered(text);
            if (folded == "network" && (lower == "ds" || lower == "domainsocket")) {
                return L"\"network\": \"" + Utf8ToWide(text) + L"\" is a domain socket";
            }
            if (folded == "dest" && !text.empty() && (text[0] == '/' || text[0] == '@')) {
                return L"\"dest\": \"" + Utf8ToWide(text) + L"\" is a domain socket";
            }
        }
        problem = AnywhereProblem(item);
        if (!problem.empty()) {
            return problem;
        }
    }
    return {};
}

const TopLevelField* FindTopLevel(const std::string& foldedKey) {
    for (const TopLevelField& field : kTopLevelFields) {
        if (foldedKey == field.key) {
            return &field;
        }
    }
    return nullptr;
}

}  // namespace

std::string FoldedKey(const std::string& key) {
    std::string folded;
    folded.reserve(key.size());
    for (std::size_t at = 0; at < key.size(); ++at) {
        const char c = key[at];
        if (c >= 'A' && c <= 'Z') {
            folded += static_cast<char>(c - 'A' + 'a');
        } else if (key.compare(at, 2, "\xC5\xBF") == 0) {
            folded += 's';
            at += 1;
        } else if (key.compare(at, 3, "\xE2\x84\xAA") == 0) {
            folded += 'k';
            at += 2;
        } else {
            folded += c;
        }
    }
    return folded;
}

std::wstring CoreDocumentProblem(const Json& document, const std::wstring& dataDirectory) {
    if (!document.is_object()) {
        return L"not a JSON object";
    }
    for (const auto& [key, value] : document.items()) {
        const TopLevelField* field = FindTopLevel(FoldedKey(key));
        std::wstring problem;
        if (field == nullptr) {
            problem = Quoted(key) + L" is no setting this service has reviewed";
        } else if (field->rule == CoreFieldRule::kRefused) {
            problem = Quoted(key) + L" " + field->why;
        } else if (field->rule == CoreFieldRule::kLogFiles) {
            problem = LogFilesProblem(value, dataDirectory);
        } else if (field->rule == CoreFieldRule::kStatsOnlyApi) {
            problem = ApiProblem(value);
        } else if (field->rule == CoreFieldRule::kListeners) {
            problem = ListenersProblem(value);
        }
        if (!problem.empty()) {
            return problem;
        }
    }
    return AnywhereProblem(document);
}

}  // namespace velk
