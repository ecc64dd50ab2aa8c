#include "service/supervision/file_tail.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

TEST(FileTailTest, TailStartOffsetKeepsAtMostMaxBytes) {
    struct Case {
        std::int64_t size;
        std::int64_t maxBytes;
        std::int64_t start;
    };
    const Case cases[] = {
        {10000, 8192, 1808}, {8193, 8192, 1}, {8192, 8192, 0}, {5000, 8192, 0},
        {0, 8192, 0},        {100, 0, 100},   {100, -5, 100},  {5000000000LL, 8192, 4999991808LL},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TailStartOffset(c.size, c.maxBytes), c.start)
            << "size " << c.size << ", max " << c.maxBytes;
    }
}

// A session's tail never reaches back before its mark, unless the file has
// since become shorter than the mark (cut or replaced: all of it is newer).
TEST(FileTailTest, TailStartOffsetStopsAtTheSessionsMark) {
    struct Case {
        std::int64_t size;
        std::int64_t maxBytes;
        std::int64_t from;
        std::int64_t start;
    };
    const Case cases[] = {
        {10000, 8192, 0, 1808},      {10000, 8192, 9000, 9000}, {10000, 8192, 1000, 1808},
        {10000, 8192, 10000, 10000}, {9000, 8192, 9500, 808},   {500, 8192, 9500, 0},
        {0, 8192, 9500, 0},          {10000, 0, 9000, 10000},   {10000, 8192, 1808, 1808},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TailStartOffset(c.size, c.maxBytes, c.from), c.start)
            << "size " << c.size << ", max " << c.maxBytes << ", from " << c.from;
    }
}

TEST(FileTailTest, EveryNulBecomesTheReplacementCharacter) {
    struct Case {
        std::wstring text;
        std::wstring expected;
    };
    const Case cases[] = {
        {std::wstring(L"core\0failed", 11),
         L"core\xFFFD"
         L"failed"},
        {std::wstring(L"\0\0x\0", 4), L"\xFFFD\xFFFDx\xFFFD"},
        {L"no NUL", L"no NUL"},
        {L"", L""},
    };
    for (const Case& c : cases) {
        std::wstring text = c.text;
        ReplaceNulCharacters(text);
        EXPECT_EQ(text, c.expected) << "case " << (&c - cases);
    }
}

}  // namespace
}  // namespace velk
