#pragma once
// The text rules for paths that reach a core running as SYSTEM: the
// configuration path a caller sends, and the names of the core's own logs
// (core_log_settings). Portable; the service then checks what it opened.
#include <string>

namespace velk {

// True for a name Windows opens as a device in any folder: CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (also with a superscript 1 to 3),
// in any letter case, with or without an extension, and with dots or blanks
// before the extension or at the end.
bool IsDeviceName(const std::wstring& name);

// Why one name between separators cannot be part of a plain path, or empty
// text: a device name, or a name ending in a dot or blank (which Windows
// drops, so the name would not be the one checked).
std::wstring PathNameProblem(const std::wstring& name);

// True for the characters no file name may hold: controls and <>"|?*.
bool HoldsForbiddenCharacter(const std::wstring& text);

// Why `path` cannot be a caller's configuration, or empty text when it can.
// Accepted: a drive letter, a colon, a separator ("\" or "/"), then names as
// PathNameProblem allows, none empty, "." or "..". Refused besides: UNC and
// the "\\?\" and "\\.\" forms, URLs and every other "scheme:" form, streams
// (any further colon), and the core's YAML and TOML formats, which it picks
// by the file's extension.
std::wstring ConfigPathProblem(const std::wstring& path);

}  // namespace velk
