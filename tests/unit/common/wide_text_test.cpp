#include "common/wide_text.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::wstring expected;
};

class Utf8ToWideTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Utf8ToWideTest, DecodesLikeMultiByteToWideChar) {
    EXPECT_EQ(Utf8ToWide(GetParam().bytes), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToWideTest,
    ::testing::Values(
        DecodeCase{"ascii", "route OK!\r\n", L"route OK!\r\n"},
        DecodeCase{"two-byte", "\xD0\x90", std::wstring(1, wchar_t(0x0410))},
        DecodeCase{"three-byte", "\xE2\x82\xAC", std::wstring(1, wchar_t(0x20AC))},
        DecodeCase{"four-byte becomes a surrogate pair", "\xF0\x9F\x98\x80",
                   std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}},
        DecodeCase{"stray continuation bytes", "\x80\xBF" "a",
                   std::wstring{wchar_t(0xFFFD), wchar_t(0xFFFD), L'a'}},
        DecodeCase{"cut-off sequence at the end", "a\xE2\x82",
                   std::wstring{L'a', wchar_t(0xFFFD)}},
        DecodeCase{"single-byte code page text", "Gr\xFC\xDF",
                   std::wstring{L'G', L'r', wchar_t(0xFFFD), wchar_t(0xFFFD)}},
        DecodeCase{"overlong form", "\xC0\xAF", std::wstring{wchar_t(0xFFFD), wchar_t(0xFFFD)}},
        DecodeCase{"encoded surrogate", "\xED\xA0\x80",
                   std::wstring{wchar_t(0xFFFD), wchar_t(0xFFFD), wchar_t(0xFFFD)}}),
    [](const ::testing::TestParamInfo<DecodeCase>& caseInfo) {
        return "case" + std::to_string(caseInfo.index);
    });

TEST(WideToUtf8Test, RoundTripsEveryPlane) {
    const std::wstring text{L'a', wchar_t(0xE9), wchar_t(0x20AC), wchar_t(0xD83D), wchar_t(0xDE00)};
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
}

TEST(WideToUtf8Test, LoneSurrogateBecomesReplacement) {
    EXPECT_EQ(WideToUtf8(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(ToDecimalTest, WritesUnsignedWithoutSign) {
    EXPECT_EQ(ToDecimal(0), L"0");
    EXPECT_EQ(ToDecimal(3221225477u), L"3221225477");
    EXPECT_EQ(ToDecimal(4294967295u), L"4294967295");
}

}  // namespace
}  // namespace velk
