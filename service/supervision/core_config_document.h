#pragma once
// The configuration the core is started with: the caller's bytes read once
// into one document, every check run on that document, and the document
// written back out as the text the core reads. The core never sees the
// caller's text, so no difference between its reader and ours (where a
// comment ends, which of two keys wins) can hide anything from the checks.
// Portable.
#include <cstddef>
#include <string>

namespace velk {

// Deeper than this, a configuration is refused: real ones nest a few levels,
// the core's own decoder gives up at 10,000, and writing the document back
// out recurses once a level.
inline constexpr std::size_t kMaxCoreConfigDepth = 128;

struct CoreConfigCopy {
    std::string text;      // what the core reads; empty when refused
    std::wstring problem;  // why the configuration is refused; empty when not
};

// Reads `bytes` as one JSON object (comments allowed, nothing after it),
// refusing two keys of one object that the core's decoder would take for the
// same (FoldedKey) and nesting deeper than kMaxCoreConfigDepth; checks the
// document (CoreDocumentProblem); and gives it back as compact JSON without
// comments, its keys in sorted order, numbers as they were read (integers
// stay integers). The bytes are let go once read, before the copy is made.
CoreConfigCopy CheckedCoreConfig(std::string bytes, const std::wstring& dataDirectory);

}  // namespace velk
