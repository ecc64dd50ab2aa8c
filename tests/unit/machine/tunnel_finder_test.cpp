#include "netsteer/machine/tunnel_finder.h"

#include <gtest/gtest.h>

#include <optional>

#include "netsteer/machine/system_commands.h"
#include "machine_test_support.h"

namespace {

using machine_test::LogCall;
using machine_test::RecordingHelperSystem;
using machine_test::RunCall;
using machine_test::SeamCall;

struct RecordedCase {
    const char* file;
    bool found;
    std::int32_t index;
    const wchar_t* line;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const RecordedCase& c, std::ostream* out) {
    *out << c.file;
}

class RecordedInterfacesTest : public ::testing::TestWithParam<RecordedCase> {};

TEST_P(RecordedInterfacesTest, FindsTheFirstTunnelLikeAdapterAndLogs) {
    const RecordedCase& c = GetParam();
    const std::wstring listing = machine_test::ReadDataListing(c.file);
    ASSERT_FALSE(listing.empty()) << c.file;

    const std::optional<netsteer::TunnelMatch> match = netsteer::ParseTunnelIndex(listing);
    ASSERT_EQ(match.has_value(), c.found);

    RecordingHelperSystem system;
    system.outputs[netsteer::ShowInterfacesCommand()] = listing;
    const std::optional<int> index = netsteer::GetTunnelIndex(system);
    EXPECT_EQ(index.has_value(), c.found);
    if (c.found) {
        EXPECT_EQ(match->index, c.index);
        EXPECT_EQ(match->line, c.line);
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(system.calls,
                  (std::vector<SeamCall>{
                      RunCall(netsteer::ShowInterfacesCommand()),
                      LogCall(std::wstring(L"GetTunnelIndex matched line: ") + c.line)}));
    } else {
        // The whole listing, untrimmed, with its own line ends.
        EXPECT_EQ(system.calls,
                  (std::vector<SeamCall>{
                      RunCall(netsteer::ShowInterfacesCommand()),
                      LogCall(L"GetTunnelIndex no match. netsh output:\n" + listing)}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    RecordedListings, RecordedInterfacesTest,
    ::testing::Values(RecordedCase{"netsh/no_tunnel.txt", false, 0, L""},
                      RecordedCase{"netsh/with_tunnel.txt", true, 23,
                                   L"23           5        1500  connected     velk_vpn0"},
                      RecordedCase{"netsh/mixed_case.txt", true, 45,
                                   L"45           5        1420  connected     Xray Tunnel"},
                      // "tun" inside an ordinary adapter's name wins because it is listed
                      // first: the search knows no more than the fragments.
                      RecordedCase{"netsh/tun_in_other_name.txt", true, 9,
                                   L"9          25        1500  connected     Fortune Office LAN"}),
    [](const ::testing::TestParamInfo<RecordedCase>& param) {
        std::string name = param.param.file;
        name = name.substr(name.find('/') + 1);
        return name.substr(0, name.find('.'));
    });

struct LineCase {
    const char* name;
    std::wstring listing;
    bool found;
    std::int32_t index;
    std::wstring line;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const LineCase& c, std::ostream* out) {
    *out << c.name;
}

class TunnelLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(TunnelLineTest, AppliesTheLineRules) {
    const LineCase& c = GetParam();
    const std::optional<netsteer::TunnelMatch> match = netsteer::ParseTunnelIndex(c.listing);
    ASSERT_EQ(match.has_value(), c.found);
    if (c.found) {
        EXPECT_EQ(match->index, c.index);
        EXPECT_EQ(match->line, c.line);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TunnelLineTest,
    ::testing::Values(
        LineCase{"Empty", L"", false, 0, L""},
        LineCase{"OnlyBlankLines", L"\r\n\r\n  \t\r\n", false, 0, L""},
        LineCase{"UpperCaseName", L" 7  5  1500  connected  VELK_VPN0\r\n", true, 7,
                 L"7  5  1500  connected  VELK_VPN0"},
        LineCase{"WinTunName", L" 8  5  1420  connected  WinTun Userspace\r\n", true, 8,
                 L"8  5  1420  connected  WinTun Userspace"},
        LineCase{"TunOutsideTheNameColumn", L"11  5  1500  tunnelled  Ethernet 3\r\n", true, 11,
                 L"11  5  1500  tunnelled  Ethernet 3"},
        LineCase{"FirstQualifyingLineWins",
                 L" 4  5 1500 connected  Tunnel Bear\r\n 9  5 1500 connected  velk_vpn0\r\n", true,
                 4, L"4  5 1500 connected  Tunnel Bear"},
        LineCase{"LineWithoutIndexPassedOver",
                 L"Tunnel adapters:\r\n-- tun --\r\n 9  5 1500 connected  velk_vpn0\r\n", true, 9,
                 L"9  5 1500 connected  velk_vpn0"},
        LineCase{"IndexOutOfRangePassedOver",
                 L"4294967296  5 1500 connected wintun\r\n 3 5 1500 connected wintun\r\n", true, 3,
                 L"3 5 1500 connected wintun"},
        LineCase{"NegativeIndexTakenAsWritten", L"-5 x tun\r\n", true, -5, L"-5 x tun"},
        LineCase{"FragmentSplitByLineEnd", L" 12  25  1500  connected  Xray\r\nTunnel\r\n", false,
                 0, L""},
        // Localised headings (Russian and French as the runner decodes them)
        // have no number first; state words stay English; names may be in
        // any script.
        LineCase{"LocalisedHeadingsPassedOver",
                 L"\xFFFD\xFFFD\xFFFD     \xFFFD\xFFFD\xFFFD  MTU  \xFFFD  \xFFFD tun\r\n"
                 L"Idx     M\xFFFDt  MTU  \xFFFDtat  Nom (tun)\r\n"
                 L" 13  20  1500  connected  \xFFFD\xFFFD\xFFFD\r\n"
                 L" 45   5  1420  connected  velk_vpn0\r\n",
                 true, 45, L"45   5  1420  connected  velk_vpn0"},
        LineCase{"NonAsciiCapitalsNotFolded", L" 5 1 1 connected \x0054\x0055\x039D\r\n", false, 0,
                 L""}),
    [](const ::testing::TestParamInfo<LineCase>& param) { return std::string(param.param.name); });

TEST(GetTunnelIndexTest, EmptyOutputLogsTheBareNoMatchMessage) {
    RecordingHelperSystem system;
    EXPECT_FALSE(netsteer::GetTunnelIndex(system));
    EXPECT_EQ(system.calls,
              (std::vector<SeamCall>{RunCall(netsteer::ShowInterfacesCommand()),
                                     LogCall(L"GetTunnelIndex no match. netsh output:\n")}));
}

TEST(GetTunnelIndexTest, EveryCallRunsTheListingAgain) {
    RecordingHelperSystem system;
    static_cast<void>(netsteer::GetTunnelIndex(system));
    static_cast<void>(netsteer::GetTunnelIndex(system));
    ASSERT_EQ(system.calls.size(), 4u);
    EXPECT_EQ(system.calls[2], RunCall(netsteer::ShowInterfacesCommand()));
}

}  // namespace
