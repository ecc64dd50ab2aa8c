#include "service/supervision/file_tail.h"

#include <algorithm>

#include "common/wide_text.h"

namespace velk {

std::int64_t TailStartOffset(std::int64_t fileSize, std::int64_t maxBytes, std::int64_t from) {
    if (fileSize <= 0) {
        return 0;
    }
    if (maxBytes <= 0) {
        return fileSize;
    }
    const std::int64_t tail = fileSize > maxBytes ? fileSize - maxBytes : 0;
    return from > fileSize ? tail : std::max(tail, from);
}

void ReplaceNulCharacters(std::wstring& text) {
    std::replace(text.begin(), text.end(), L'\0', kReplacementCharacter);
}

}  // namespace velk
