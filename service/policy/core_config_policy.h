#pragma once
// What a caller's configuration may make the core do. The core runs as
// SYSTEM, so every field that names a file, a socket path or a control
// endpoint has a rule here, and a top-level key nobody reviewed is refused:
// a newer core's new features wait until they are. Portable.
#include <nlohmann/json.hpp>

#include <string>

namespace velk {

// How a field is judged.
enum class CoreFieldRule {
    kFree,          // names no file, socket or endpoint of its own
    kRefused,       // refused, whatever its value
    kLogFiles,      // "access" and "error": no file, or one in the data folder
    kStatsOnlyApi,  // the control API, with no service but "StatsService"
    kListeners,     // each inbound's "listen": an IP address or "localhost"
};

// A key as the core's JSON decoder compares it with its field names: ASCII
// letters in lower case, and the two characters that Unicode folds to an
// ASCII letter (the long s and the Kelvin sign) as that letter.
std::string FoldedKey(const std::string& key);

// Why the core may not be given `document` (a parsed configuration), or empty
// text. The document's top level must be an object whose keys all have a
// rule; anywhere in it, TLS "certificateFile", "keyFile" and "masterKeyLog"
// (files the core reads or writes as SYSTEM), "dsSettings" and a "network"
// of "ds" or "domainsocket" (domain sockets), and a "dest" that is a socket
// path are refused; an "ext:", "ext-domain:" or "ext-ip:" name, as a key or
// a value, must name one plain file (found beside the core).
std::wstring CoreDocumentProblem(const nlohmann::json& document, const std::wstring& dataDirectory);

}  // namespace velk
