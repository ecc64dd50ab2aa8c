// The built netsteer.exe against the network simulator's tools, across a
// restart and a move to another network while routed into the tunnel: the
// table and the state file it leaves must be those of a machine that never
// went through the restart or the move.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netsteer/netsteer_constants.h"
#include "tests/support/win_files.h"
#include "tests/windows/control/netsteer_on_netsim.h"
#include "tests/windows/control/netsteer_run.h"

namespace netsteer::testing {
namespace {

TEST_F(NetsteerOnTheSimulator, RestartAndMoveWhileRoutedLeaveTheLiveNetwork) {
    struct Case {
        const char* name;
        std::vector<std::wstring> steps;
        std::vector<std::wstring> sameAs;  // steps that never restart or move while routed
    };
    const Case cases[] = {
        {"restarted, then stop: the home table",
         {L"tunnel-up", L"start", L"reboot", L"stop"},
         {L"tunnel-up", L"start", L"stop", L"tunnel-down"}},
        {"moved to the office, then stop: the office default route untouched",
         {L"tunnel-up", L"start", L"move office", L"stop"},
         {L"move office"}},
        {"moved to the office, then start again: the office is the uplink",
         {L"tunnel-up", L"start", L"move office", L"tunnel-up", L"start"},
         {L"move office", L"tunnel-up", L"start"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunSteps(c.sameAs);
        const std::wstring expectedTable = RouteTable();
        const std::string expectedState = velk::test_support::ReadFileBytes(kStateFilePath);

        RunSteps(c.steps);
        EXPECT_EQ(RouteTable(), expectedTable);
        EXPECT_EQ(velk::test_support::ReadFileBytes(kStateFilePath), expectedState);
    }
}

}  // namespace
}  // namespace netsteer::testing
