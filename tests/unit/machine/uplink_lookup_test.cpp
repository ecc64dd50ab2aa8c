// GetUplinkInterfaceIndex: the PowerShell query it sends and how it reads
// the answer.
#include "netsteer/machine/uplink_lookup.h"

#include <gtest/gtest.h>

#include <optional>

#include "machine_test_support.h"

namespace {

using machine_test::RecordingHelperSystem;
using machine_test::RunCall;
using machine_test::SeamCall;

const std::wstring kQueryFor23 =
    L"powershell -NoProfile -WindowStyle Hidden -Command \"$x = Get-NetIPAddress -AddressFamily "
    L"IPv4 | Where-Object {$_.IPAddress -eq '192.168.1.23'} | Select-Object -First 1 "
    L"-ExpandProperty InterfaceIndex; if ($x) { Write-Output $x }\"";

struct AnswerCase {
    const char* name;
    std::wstring output;
    bool found;
    int index;
};

class UplinkAnswer : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(UplinkAnswer, IsReadAsItsLeadingNumber) {
    const AnswerCase& c = GetParam();
    RecordingHelperSystem system;
    system.outputs[kQueryFor23] = c.output;
    const std::optional<int> index = netsteer::GetUplinkInterfaceIndex(system, L"192.168.1.23");
    EXPECT_EQ(index.has_value(), c.found) << c.name;
    if (c.found) {
        EXPECT_EQ(index, c.index) << c.name;
    }
    EXPECT_EQ(system.calls, std::vector<SeamCall>{RunCall(kQueryFor23)});
    EXPECT_EQ(kQueryFor23.size(), 228u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UplinkAnswer,
    ::testing::Values(AnswerCase{"number and CR LF", L"12\r\n", true, 12},
                      AnswerCase{"further lines", L"7\r\n12\r\n", true, 7},
                      AnswerCase{"blanks first", L"  \r\n 23\r\n", true, 23},
                      AnswerCase{"zero is no interface", L"0\r\n", false, 0},
                      AnswerCase{"negative is no interface", L"-3\r\n", false, 0},
                      AnswerCase{"largest int", L"2147483647\r\n", true, 2147483647},
                      AnswerCase{"nothing", L"", false, 0},
                      AnswerCase{"only a line end", L"\r\n", false, 0},
                      AnswerCase{"error text",
                                 L"Get-NetIPAddress : The term 'Get-NetIPAddress' is not "
                                 L"recognized as the name of a cmdlet, function, script file, or "
                                 L"operable program.\r\n",
                                 false, 0},
                      // PowerShell's numbers are never translated; its errors are.
                      AnswerCase{"localised error text",
                                 L"Get-NetIPAddress : \xFFFD\xFFFD\xFFFD 5\r\n", false, 0},
                      AnswerCase{"too large", L"2147483648\r\n", false, 0},
                      AnswerCase{"sign alone", L"-\r\n", false, 0}));

}  // namespace
