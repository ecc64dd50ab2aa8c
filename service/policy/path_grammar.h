#pragma once
// The one reading of a Windows path's shape, and of the names in it, that
// every path rule of the service uses: the caller's configuration path, the
// core's log names and the file names in the core's configuration.
// Two readers of one path that disagree on its form are how a path slips
// past a check, so the forms are told apart here only.
#include <cstddef>
#include <string>
#include <vector>

namespace velk {

// Both "\" and "/" separate names on Windows.
bool IsPathSeparator(wchar_t c);

bool HoldsPathSeparator(const std::wstring& text);

// How a path begins, which decides where it lands.
enum class PathForm {
    kEmpty,
    kUnc,            // "\\server\share", also with "/" ("//server/share", "\/server")
    kDevice,         // "\\?\..." and "\\.\..." (either separator): no normalising, or a device
    kDriveAbsolute,  // "C:\..." or "C:/..."
    kDriveRelative,  // "C:name": relative to that drive's current folder
    kRootRelative,   // "\name": from the root of the current drive
    kRelative,       // "name\...": from the current folder
};

PathForm ClassifyPath(const std::wstring& path);

// Where a path's names begin after its form's prefix: after "C:\", "C:",
// or one leading separator; 0 for the others.
std::size_t NamesStart(PathForm form);

// Whether `path` holds a colon past its drive letter's: an alternate data
// stream ("x.log:hidden", "x::$DATA") or a scheme ("file:", "http:").
bool HoldsStreamOrScheme(const std::wstring& path);

// The names between separators from `start` on, empty ones included
// ("a\\b" gives "a", "", "b").
std::vector<std::wstring> PathNames(const std::wstring& path, std::size_t start);

// What one name between separators is to path resolution.
enum class NameKind {
    kEmpty,    // doubled or trailing separator
    kCurrent,  // "."
    kParent,   // "..": climbs one folder
    kPlain,
};

NameKind KindOfName(const std::wstring& name);

// `names` resolved as Windows does: empty and "." names dropped, ".." takes
// the name before it away (and nothing at the root).
std::vector<std::wstring> ResolveNames(const std::vector<std::wstring>& names);

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

}  // namespace velk
