#include "netsteer/probes/helper_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/unit/common/temp_file.h"

namespace netsteer {
namespace {

#ifdef _WIN32
const std::string kEol = "\r\n";
#else
const std::string kEol = "\n";
#endif

// Points the helper log at a temporary file and a counting fixed clock; puts
// the process-wide target back afterwards.
class HelperLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = HelperLogTarget();
        HelperLogTarget().path = file_.WidePath();
        SetClock({2026, 3, 7, 9, 5, 3});
    }
    void TearDown() override { HelperLogTarget() = saved_; }

    void SetClock(velk::LocalTime time) {
        HelperLogTarget().clock = [this, time] {
            ++clockReads_;
            return time;
        };
    }

    velk::test_files::TempFile file_{"velk-helper-log"};
    int clockReads_ = 0;

  private:
    velk::LogTarget saved_;
};

TEST_F(HelperLogTest, EntryForEveryMessage) {
    WriteLog(L"Tunnel index found");
    SetClock({2027, 1, 1, 0, 0, 0});
    WriteLog(L"RETURN 0: start done");
    SetClock({2026, 12, 31, 23, 59, 59});
    WriteLog(L"");
    EXPECT_EQ(clockReads_, 3);
    EXPECT_EQ(file_.ReadBytes(), "[2026-03-07 09:05:03] Tunnel index found" + kEol +
                                     "[2027-01-01 00:00:00] RETURN 0: start done" + kEol +
                                     "[2026-12-31 23:59:59] " + kEol);
}

TEST_F(HelperLogTest, MultiLineMessageStandsAsItIs) {
    WriteLog(L"No tunnel in:\r\nIdx  Name\n 1   Loopback\n");
    WriteLog(L"next");
    EXPECT_EQ(file_.ReadBytes(), "[2026-03-07 09:05:03] No tunnel in:\r" + kEol + "Idx  Name" +
                                     kEol + " 1   Loopback" + kEol + kEol +
                                     "[2026-03-07 09:05:03] next" + kEol);
}

TEST_F(HelperLogTest, WideCharactersDoNotCutTheEntry) {
    // A localised interface name, then a later entry that must start a line.
    WriteLog(L"Tunnel not found: \u0421\u0435\u0442\u044c 2 caf\u00E9");
    WriteLog(L"RETURN 3: tunnel not found");
    EXPECT_EQ(file_.ReadBytes(), "[2026-03-07 09:05:03] Tunnel not found: ???? 2 caf\xE9" + kEol +
                                     "[2026-03-07 09:05:03] RETURN 3: tunnel not found" + kEol);
}

TEST_F(HelperLogTest, FollowsEntriesOfEarlierRuns) {
    {
        std::ofstream earlier(std::filesystem::path(file_.WidePath()), std::ios::binary);
        earlier << "[2026-03-07 09:00:00] Stop Ended .... return 0" << kEol;
    }
    AppendLogFile(L"second run");
    EXPECT_EQ(file_.ReadBytes(), "[2026-03-07 09:00:00] Stop Ended .... return 0" + kEol +
                                     "[2026-03-07 09:05:03] second run" + kEol);
}

TEST_F(HelperLogTest, UnopenableFileStillReturns) {
    HelperLogTarget().path = file_.WidePath() + L".missing-dir/ravik_helper.log";
    EXPECT_NO_THROW(WriteLog(L"lost"));
    EXPECT_EQ(clockReads_, 1);
    // The lock was given back: the next entry goes through.
    HelperLogTarget().path = file_.WidePath();
    WriteLog(L"kept");
    EXPECT_EQ(file_.ReadBytes(), "[2026-03-07 09:05:03] kept" + kEol);
}

}  // namespace
}  // namespace netsteer
