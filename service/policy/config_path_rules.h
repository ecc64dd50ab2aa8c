#pragma once
// The text rule for the configuration path a caller sends: the file reaches
// a core running as SYSTEM. Portable; the service then checks what it opened.
#include <string>

namespace velk {

// Why `path` cannot be a caller's configuration, or empty text when it can.
// Accepted: a drive letter, a colon, a separator ("\" or "/"), then names as
// PathNameProblem (path_grammar.h) allows, none empty, "." or "..". Refused besides: UNC and
// the "\\?\" and "\\.\" forms, URLs and every other "scheme:" form, streams
// (any further colon), and the core's YAML and TOML formats, which it picks
// by the file's extension.
std::wstring ConfigPathProblem(const std::wstring& path);

}  // namespace velk
