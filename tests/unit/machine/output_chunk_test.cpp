#include "netsteer/machine/output_chunk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An ANSI decoder that records what it was asked and answers with a marker.
struct AnsiProbe {
    std::vector<std::string> asked;
    std::wstring answer;
    netsteer::AnsiDecoder Decoder() {
        return [this](const std::string& bytes) {
            asked.push_back(bytes);
            return answer;
        };
    }
};

struct ChunkCase {
    const char* name;
    std::string chunk;
    std::wstring expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ChunkCase& c, std::ostream* out) {
    *out << c.name;
}

class DecodeChunkTest : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(DecodeChunkTest, DecodesAsUtf8UpToTheFirstZeroByte) {
    const ChunkCase& c = GetParam();
    AnsiProbe ansi;
    ansi.answer = L"ANSI";
    EXPECT_EQ(netsteer::DecodeOutputChunk(c.chunk.data(), c.chunk.size(), ansi.Decoder()),
              c.expected);
    // UTF-8 decoding of any non-empty chunk yields characters, so the ANSI
    // code page is never consulted for one.
    EXPECT_TRUE(ansi.asked.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, DecodeChunkTest,
    ::testing::Values(ChunkCase{"Ascii", " OK!\r\n", L" OK!\r\n"},
                      ChunkCase{"Utf8", "Gr\xC3\xBC\xC3\x9F\x65",
                                L"Gr\x00FC\x00DF"
                                L"e"},
                      // A console code page byte above 0x7F is invalid UTF-8.
                      ChunkCase{"Cp850Umlaut", "St\x84ndige Routen:\r\n",
                                L"St\xFFFDndige Routen:\r\n"},
                      // A character cut at the end of one read turns into a replacement.
                      ChunkCase{"CutSequenceAtEnd", "ab\xE2\x82", L"ab\xFFFD"},
                      ChunkCase{"CutSequenceAtStart",
                                "\x82\xAC"
                                "cd",
                                L"\xFFFD\xFFFD"
                                L"cd"},
                      ChunkCase{"ZeroByteEndsTheChunk", std::string("abc\0def", 7), L"abc"},
                      ChunkCase{"Surrogates", "\xF0\x9F\x98\x80", L"\xD83D\xDE00"}),
    [](const ::testing::TestParamInfo<ChunkCase>& param) { return std::string(param.param.name); });

TEST(DecodeChunkTest, ChunkWithNothingBeforeItsZeroByteIsDropped) {
    AnsiProbe ansi;
    const std::string startsWithZero("\0abc", 4);
    EXPECT_EQ(
        netsteer::DecodeOutputChunk(startsWithZero.data(), startsWithZero.size(), ansi.Decoder()),
        L"");
    EXPECT_EQ(netsteer::DecodeOutputChunk("", 0, ansi.Decoder()), L"");
    EXPECT_EQ(netsteer::DecodeOutputChunk(nullptr, 10, ansi.Decoder()), L"");
    EXPECT_EQ(netsteer::DecodeOutputChunk("x", 1, nullptr), L"x");
}

}  // namespace
