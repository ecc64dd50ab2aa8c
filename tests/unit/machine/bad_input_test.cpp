// Listing text of any shape must be parsed without a crash and without an
// exception: random bytes, NUL code units, very long lines, huge numbers.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "netsteer/machine/route_command.h"
#include "netsteer/machine/default_routes.h"
#include "netsteer/machine/route_outcome.h"
#include "netsteer/machine/tunnel_finder.h"
#include "machine_test_support.h"

namespace {

void ParseEverything(const std::wstring& text) {
    EXPECT_NO_THROW({
        netsteer::ReadActiveRoutes(text);
        netsteer::ParseTunnelIndex(text);
        netsteer::RouteOutputMeansSuccess(text);
    });
}

// Random text built from pieces that make the parsers take every branch:
// markers, separators, digits, signs, NULs, surrogates and arbitrary units.
std::wstring RandomListing(std::mt19937& random, std::size_t pieces) {
    static const wchar_t* const kPieces[] = {L"Active Routes:",
                                             L"Persistent Routes:",
                                             L"===",
                                             L"Network Destination",
                                             L"0.0.0.0",
                                             L"On-link",
                                             L"tun",
                                             L"VELK_VPN0",
                                             L"\r\n",
                                             L"\n",
                                             L"\r",
                                             L" ",
                                             L"\t",
                                             L"\v",
                                             L"-",
                                             L"+",
                                             L"2147483648",
                                             L"-2147483649",
                                             L"12",
                                             L"99999999999999999999"};
    std::uniform_int_distribution<int> pick(0, 23);
    std::uniform_int_distribution<int> unit(0, 0xFFFF);
    std::wstring text;
    for (std::size_t i = 0; i < pieces; ++i) {
        const int p = pick(random);
        if (p < 20) {
            text += kPieces[p];
        } else if (p == 20) {
            text += L'\0';
        } else if (p == 21) {
            text += static_cast<wchar_t>(0xD800 + unit(random) % 0x800);
        } else {
            text += static_cast<wchar_t>(unit(random));
        }
    }
    return text;
}

TEST(BadInputTest, RandomPiecesAndUnits) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 300; ++round) {
        ParseEverything(RandomListing(random, 200));
    }
}

TEST(BadInputTest, RandomBytesThroughTheChunkDecoder) {
    std::mt19937 random(4095);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 100; ++round) {
        std::string bytes(1 + round * 97, '\0');
        for (char& b : bytes) {
            b = static_cast<char>(byte(random));
        }
        std::wstring text;
        EXPECT_NO_THROW(text = netsteer::DecodeOutputChunk(bytes.data(), bytes.size(), nullptr));
        ParseEverything(text);
    }
}

TEST(BadInputTest, LongLinesAndHugeNumbers) {
    const std::wstring longField(100000, L'7');
    const std::wstring longBlank(100000, L' ');
    const std::wstring longTun = std::wstring(50000, L'x') + L"tun" + std::wstring(50000, L'y');
    const std::wstring cases[] = {
        L"Active Routes:\r\n" + longField,
        L"Active Routes:\r\n0.0.0.0 0.0.0.0 1.1.1.1 2.2.2.2 " + longField + L"\r\n",
        L"Active Routes:\r\n" + longBlank + L"0.0.0.0" + longBlank + L"\r\n",
        L"Active Routes:\r\n" + std::wstring(100000, L'='),
        longField + L" tun\r\n",
        L"-" + longField + L" wintun",
        longTun,
        std::wstring(100000, L'\n'),
        std::wstring(100000, L'\0'),
    };
    for (const std::wstring& text : cases) {
        ParseEverything(text);
    }
    // A number of 100,000 digits is out of range: the line is passed over.
    EXPECT_FALSE(netsteer::ParseTunnelIndex(longField + L" tun"));
    EXPECT_TRUE(netsteer::ReadActiveRoutes(cases[1]).empty());
}

TEST(BadInputTest, NulCodeUnitsAreOrdinaryCharactersInsideWideText) {
    // Once decoded, a NUL is just another code unit: it ends no line and no
    // field of its own.
    std::wstring line = L"Active Routes:\r\n0.0.0.0 0.0.0.0 1.1.1.1 2.2.2.2 5";
    line[20] = L'\0';
    const auto entries = netsteer::ReadActiveRoutes(line);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].destination.size(), 7u);
    EXPECT_EQ(entries[0].metric, 5);

    std::wstring tunnel = L" 9  5 1500 connected wintun";
    tunnel[5] = L'\0';
    const auto match = netsteer::ParseTunnelIndex(tunnel);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->index, 9);
    EXPECT_EQ(match->line.size(), tunnel.size() - 1);
}

}  // namespace
