#pragma once
// The fixture of the logs that write through a process-wide LogTarget: the
// target points at a temporary file of its own and a fixed clock that counts
// its reads, and is put back afterwards.
#include <gtest/gtest.h>

#include <string>

#include "common/log_entry.h"
#include "tests/unit/common/temp_file.h"

namespace velk {
namespace test_files {

// The line end the logs write on this platform.
#ifdef _WIN32
inline const std::string kEol = "\r\n";
#else
inline const std::string kEol = "\n";
#endif

class LogFileTest : public ::testing::Test {
  protected:
    LogFileTest(LogTarget& target, const std::string& stem, const LocalTime& start)
        : file_(stem), target_(target), start_(start) {}

    void SetUp() override {
        saved_ = target_;
        target_.path = file_.WidePath();
        SetClock(start_);
    }
    void TearDown() override { target_ = saved_; }

    // Every entry from now on carries `time`.
    void SetClock(LocalTime time) {
        target_.clock = [this, time] {
            ++clockReads_;
            return time;
        };
    }

    TempFile file_;
    int clockReads_ = 0;

  private:
    LogTarget& target_;
    LocalTime start_;
    LogTarget saved_;
};

}  // namespace test_files
}  // namespace velk
