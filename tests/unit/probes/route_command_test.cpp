#include "netsteer/probes/route_command.h"

#include <gtest/gtest.h>

#include "probes_test_support.h"

namespace {

using probes_test::RecordingHelperSystem;
using probes_test::RunCall;
using probes_test::SeamCall;
using probes_test::SleepCall;

struct OutcomeCase {
    const char* name;
    std::wstring output;
    bool success;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const OutcomeCase& c, std::ostream* out) {
    *out << c.name;
}

class RouteOutcomeTest : public ::testing::TestWithParam<OutcomeCase> {};

// Judged alone, and through RunRouteCommand, which must pause 300 ms after
// the command whatever the outcome.
TEST_P(RouteOutcomeTest, JudgesTheOutputAndAlwaysPausesAfterTheCommand) {
    const OutcomeCase& c = GetParam();
    EXPECT_EQ(netsteer::RouteOutputMeansSuccess(c.output), c.success);

    RecordingHelperSystem system;
    const std::wstring command = L"route delete 0.0.0.0 mask 0.0.0.0 192.168.1.1";
    system.outputs[command] = c.output;
    EXPECT_EQ(netsteer::RunRouteCommand(system, command), c.success);
    EXPECT_EQ(system.calls,
              (std::vector<SeamCall>{RunCall(command), SleepCall(netsteer::kRouteCommandPauseMs)}));
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, RouteOutcomeTest,
    ::testing::Values(
        OutcomeCase{"Empty", L"", true}, OutcomeCase{"Ok", L" OK!\r\n", true},
        OutcomeCase{"AdditionFailed",
                    L"The route addition failed: The object already exists.\r\n\r\n", false},
        OutcomeCase{"AdditionFailedUpperCase", L"THE ROUTE ADDITION FAILED: 87\r\n", false},
        OutcomeCase{"DeletionFailed", L"The route deletion failed: Element not found.\r\n\r\n",
                    false},
        OutcomeCase{"ElementNotFoundAlone", L"Element not found.\r\n", false},
        OutcomeCase{"PhraseAfterOtherLines", L" OK!\r\nsomething\r\nthe route addition failed",
                    false},
        OutcomeCase{"PhraseBrokenByLineBreak", L"Element not\r\nfound\r\n", true},
        OutcomeCase{"ElevationIsNotAFailurePhrase",
                    L"The requested operation requires elevation.\r\n", true},
        OutcomeCase{"LocalisedFailureUnrecognised",
                    L"Fehler beim Hinzuf\xFFFDgen der Route: Das Objekt ist bereits vorhanden.\r\n",
                    true},
        OutcomeCase{"NulInsideOutputDoesNotHidePhrase",
                    std::wstring(L"x") + L'\0' + L"y the route deletion failed", false}),
    [](const ::testing::TestParamInfo<OutcomeCase>& param) {
        return std::string(param.param.name);
    });

}  // namespace
