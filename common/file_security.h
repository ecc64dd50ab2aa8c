#pragma once
// The security of the files our programs keep in C:\ProgramData.

namespace velk {

// SYSTEM and Administrators only, set on the file itself and protected, so
// that nothing the folder passes on (C:\ProgramData lets Users read) applies.
inline constexpr wchar_t kSystemOnlyFileSddl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

}  // namespace velk
