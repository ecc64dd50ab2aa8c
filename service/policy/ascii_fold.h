#pragma once
// ASCII-only case folding, for the values of the core's configuration and
// for path names: only A-Z become a-z. The core lowers such values with Go's
// strings.ToLower, which leaves the long s alone, so a value is never folded
// here as a key is (FoldedKey in core_config_policy.h folds the long s and
// the Kelvin sign too, as the core's JSON decoder matches keys).
#include <string>

namespace velk {

wchar_t AsciiLower(wchar_t c);
std::wstring AsciiLower(const std::wstring& text);
std::string AsciiLower(const std::string& text);

// Whether `a` and `b` are equal once ASCII-folded.
bool SameAsciiFolded(const std::wstring& a, const std::wstring& b);

}  // namespace velk
