#pragma once
// The one reading of a Windows path's shape that every path rule of the
// service uses: the caller's configuration path and the core's log names.
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

}  // namespace velk
