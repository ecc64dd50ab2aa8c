#pragma once
// The text rules of every netsteer parser. Pure functions on UTF-16 code units.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace netsteer {

// Removes leading and trailing blanks, tabs, CRs and LFs (nothing else).
std::wstring Trim(const std::wstring& text);

// Cuts at every LF; CRs stay in the lines. A final LF adds no empty line;
// the empty text gives no lines.
std::vector<std::wstring> SplitLines(const std::wstring& text);

// Lower-cases A to Z only, as towlower does in the C locale.
std::wstring ToLowerCase(const std::wstring& text);

// Where the field readers are in one line. Once a read has failed, every later
// read on the same cursor fails too, so callers check once after the last field.
struct FieldCursor {
    std::size_t position = 0;
    bool failed = false;
};

// Skips field separators (blank, tab, LF, VT, FF, CR) and takes the longest run
// of non-separators. Fails at the end of the line.
bool ReadTextField(const std::wstring& line, FieldCursor& cursor, std::wstring& field);

// Skips field separators, takes an optional sign and decimal digits, stops at
// the first non-digit (which stays for the next field). Fails without a digit
// or outside the range of a 32-bit signed integer.
bool ReadIntField(const std::wstring& line, FieldCursor& cursor, std::int32_t& value);

// String-to-int as the standard conversion reads it: optional leading
// separators and sign, digits, the rest ignored. False without a digit or
// out of the 32-bit signed range.
bool ParseLeadingInt(const std::wstring& text, std::int32_t& value);

// Four decimal numbers 0 to 255 separated by dots, nothing else. A number
// with a leading zero ("010") is refused: Windows tools may read it as octal.
// Every address that goes into a command line passes this first.
bool IsPlainDottedIPv4(const std::wstring& text);

}  // namespace netsteer
