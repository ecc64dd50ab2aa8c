#include "netsteer/machine/text_utils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace netsteer {
namespace {

TEST(TrimTest, RemovesOnlyBlankTabCrAndLfAtTheEnds) {
    const struct {
        std::wstring text;
        std::wstring trimmed;
    } cases[] = {
        {L" \t 12 \r\n", L"12"},
        {L"\r\n", L""},
        {L"", L""},
        {L"  a \t b  ", L"a \t b"},
        {L"\v12\v", L"\v12\v"},
        {L"\f12 ", L"\f12"},
        {std::wstring{wchar_t(0xA0), L'1', L'2', wchar_t(0xA0)},
         std::wstring{wchar_t(0xA0), L'1', L'2', wchar_t(0xA0)}},
        {L"x", L"x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Trim(c.text), c.trimmed);
    }
}

TEST(SplitLinesTest, CutsAtLineFeedsOnly) {
    using Lines = std::vector<std::wstring>;
    const struct {
        std::wstring text;
        Lines lines;
    } cases[] = {
        {L"a\r\nb\r\n", Lines{L"a\r", L"b\r"}},
        {L"a\n\nb", Lines{L"a", L"", L"b"}},
        {L"", Lines{}},
        {L"\n", Lines{L""}},
        {L"\n\n", Lines{L"", L""}},
        {L"a", Lines{L"a"}},
        {L"a\n", Lines{L"a"}},
        {L"a\rb", Lines{L"a\rb"}},
        {L"\na", Lines{L"", L"a"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitLines(c.text), c.lines);
    }
}

TEST(ToLowerCaseTest, LowersAsciiCapitalsOnly) {
    EXPECT_EQ(ToLowerCase(L"Xray Tunnel"), L"xray tunnel");
    EXPECT_EQ(ToLowerCase(L"@AZ[`az{"), L"@az[`az{");
    const std::wstring nonAscii{wchar_t(0xC4), wchar_t(0xD6), wchar_t(0x041F), wchar_t(0x0130)};
    EXPECT_EQ(ToLowerCase(nonAscii), nonAscii);
    EXPECT_EQ(ToLowerCase(L""), L"");
}

// One read of a field and what it should give.
struct Read {
    bool number;
    bool ok;
    std::wstring text;
    std::int32_t value;
};

Read Text(std::wstring text) {
    return {false, true, std::move(text), 0};
}
Read Int(std::int32_t value) {
    return {true, true, L"", value};
}
Read FailText() {
    return {false, false, L"", 0};
}
Read FailInt() {
    return {true, false, L"", 0};
}

TEST(FieldReaderTest, ReadsColumnsLeftToRight) {
    const struct {
        const char* name;
        std::wstring line;
        std::vector<Read> reads;
    } cases[] = {
        {"route line",
         L"0.0.0.0          0.0.0.0      192.168.1.1    192.168.1.20     25",
         {Text(L"0.0.0.0"), Text(L"0.0.0.0"), Text(L"192.168.1.1"), Text(L"192.168.1.20"),
          Int(25)}},
        {"heading word is no number", L"Idx     Met         MTU", {FailInt(), FailText()}},
        {"dash ruler is no number", L"---  ----------  -----", {FailInt(), FailInt()}},
        {"digits then letters", L"12abc", {Int(12), Text(L"abc"), FailText()}},
        {"interface line",
         L" 17          25        1500  connected     Xray Tunnel",
         {Int(17), Int(25), Int(1500), Text(L"connected"), Text(L"Xray"), Text(L"Tunnel")}},
        {"all separators", L"\v\f 5\t6\r\n7", {Int(5), Int(6), Int(7), FailInt()}},
        {"end of line fails and stays failed", L"a", {Text(L"a"), FailText(), FailInt()}},
        {"empty line", L"", {FailText()}},
        {"no-break space is no separator",
         std::wstring{L'a', wchar_t(0xA0), L'b'},
         {Text(std::wstring{L'a', wchar_t(0xA0), L'b'})}},
        {"largest", L"2147483647", {Int(2147483647)}},
        {"one past the largest", L"2147483648", {FailInt()}},
        {"smallest", L"-2147483648", {Int(-2147483647 - 1)}},
        {"one past the smallest", L"-2147483649", {FailInt()}},
        {"very long number", L"99999999999999999999999999", {FailInt()}},
        {"leading zeros", L"0000000000002147483647", {Int(2147483647)}},
        {"plus sign", L"+7 -0", {Int(7), Int(0)}},
        {"sign alone", L"+ 5", {FailInt(), FailInt()}},
        {"dot stops a number", L"1.5", {Int(1), Text(L".5")}},
        {"number glued to a dash", L"3-4", {Int(3), Int(-4)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FieldCursor cursor;
        for (std::size_t i = 0; i < c.reads.size(); ++i) {
            const Read& expected = c.reads[i];
            if (expected.number) {
                std::int32_t value = 12345;
                EXPECT_EQ(ReadIntField(c.line, cursor, value), expected.ok) << "read " << i;
                if (expected.ok) {
                    EXPECT_EQ(value, expected.value) << "read " << i;
                }
            } else {
                std::wstring field = L"untouched";
                EXPECT_EQ(ReadTextField(c.line, cursor, field), expected.ok) << "read " << i;
                if (expected.ok) {
                    EXPECT_EQ(field, expected.text) << "read " << i;
                }
            }
            EXPECT_EQ(cursor.failed, !expected.ok) << "read " << i;
        }
    }
}

TEST(ParseLeadingIntTest, ReadsLikeTheStandardConversion) {
    const struct {
        std::wstring text;
        bool ok;
        std::int32_t value;
    } cases[] = {
        {L"42", true, 42},
        {L"  42 rest", true, 42},
        {L"\r\n7\r\n", true, 7},
        {L"-12x", true, -12},
        {L"2147483647", true, 2147483647},
        {L"-2147483648", true, -2147483647 - 1},
        {L"2147483648", false, 0},
        {L"-2147483649", false, 0},
        {L"", false, 0},
        {L"abc", false, 0},
        {L"-", false, 0},
        {std::wstring{wchar_t(0xA0), L'5'}, false, 0},
    };
    for (const auto& c : cases) {
        std::int32_t value = 0;
        EXPECT_EQ(ParseLeadingInt(c.text, value), c.ok) << testing::PrintToString(c.text);
        if (c.ok) {
            EXPECT_EQ(value, c.value) << testing::PrintToString(c.text);
        }
    }
}

// The one rule for every address that reaches a command line.
TEST(PlainDottedIPv4Test, AcceptsOnlyFourPlainDecimalNumbers) {
    const struct {
        std::wstring text;
        bool plain;
    } cases[] = {
        {L"0.0.0.0", true},
        {L"255.255.255.255", true},
        {L"10.0.0.1", true},
        {L"192.168.100.200", true},
        {L"1.0.10.100", true},
        {L"", false},
        {L"1.2.3", false},
        {L"1.2.3.4.5", false},
        {L"256.1.1.1", false},
        {L"1.2.3.256", false},
        {L"1000.1.1.1", false},
        {L"010.0.0.1", false},
        {L"1.2.3.04", false},
        {L"0x7f.0.0.1", false},
        {L"1..2.3", false},
        {L"1.2.3.", false},
        {L" 1.2.3.4", false},
        {L"1.2.3.4 ", false},
        {L"1.2.3.4&calc", false},
        {L"1.2.3.4'", false},
        {L"On-link", false},
        {L"::1", false},
        {std::wstring{L'1', L'.', L'2', L'.', L'3', L'.', wchar_t(0x0664)}, false},
        {std::wstring(L"1.2.3.4\0x", 9), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsPlainDottedIPv4(c.text), c.plain) << testing::PrintToString(c.text);
    }
}

}  // namespace
}  // namespace netsteer
