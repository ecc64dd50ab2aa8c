#include "service/channel/service_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/unit/common/log_file_fixture.h"

namespace velk {
namespace {

using test_files::kEol;

// The service log on a temporary file and a fixed clock; the process-wide
// switch is put back afterwards as well.
class ServiceLogTest : public test_files::LogFileTest {
  protected:
    ServiceLogTest() : LogFileTest(ServiceLogTarget(), "velk-service-log", {2026, 3, 5, 7, 4, 9}) {}

    void SetUp() override {
        savedEnabled_ = ServiceLogEnabled();
        LogFileTest::SetUp();
    }
    void TearDown() override {
        LogFileTest::TearDown();
        EnableServiceLog(savedEnabled_);
    }

  private:
    bool savedEnabled_ = false;
};

TEST_F(ServiceLogTest, OffByDefaultWritesNothing) {
    EXPECT_FALSE(ServiceLogEnabled());
    EnableServiceLog(false);
    std::vector<std::thread> writers;
    for (int n = 0; n < 4; ++n) {
        writers.emplace_back([] { WriteServiceLog(L"Pipe server loop started."); });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    EXPECT_FALSE(file_.Exists());
}

TEST_F(ServiceLogTest, WritesEntriesByteForByte) {
    EnableServiceLog(true);
    WriteServiceLog(L"Pipe server loop started.");
    SetClock({2026, 11, 12, 23, 45, 30});
    WriteServiceLog(L"line one\nline two");
    WriteServiceLog(L"cr\rstays");
    WriteServiceLog(std::wstring{L'<', wchar_t(0x80), wchar_t(0xE9), wchar_t(0xFF), L'>'});
    WriteServiceLog(L"");

    EXPECT_EQ(file_.ReadBytes(), "[2026-03-05 07:04:09] Pipe server loop started." + kEol +
                                     "[2026-11-12 23:45:30] line one" + kEol + "line two" + kEol +
                                     "[2026-11-12 23:45:30] cr\rstays" + kEol +
                                     "[2026-11-12 23:45:30] <\x80\xE9\xFF>" + kEol +
                                     "[2026-11-12 23:45:30] " + kEol);
}

TEST_F(ServiceLogTest, CharacterAboveLatin1KeepsTheEntryWhole) {
    EnableServiceLog(true);
    // "Received command: route_start " and a Cyrillic host, then a surrogate pair.
    WriteServiceLog(
        L"Received command: route_start \u0441\u0435\u0440\u0432\u0435\u0440.\u0440\u0444");
    WriteServiceLog(std::wstring(L"emoji ") + wchar_t(0xD83D) + wchar_t(0xDE00) + L" end");
    WriteServiceLog(L"Response: ok=true;exitCode=0;message=helper finished");

    EXPECT_EQ(file_.ReadBytes(),
              "[2026-03-05 07:04:09] Received command: route_start ??????.??" + kEol +
                  "[2026-03-05 07:04:09] emoji ?? end" + kEol +
                  "[2026-03-05 07:04:09] Response: ok=true;exitCode=0;message=helper finished" +
                  kEol);
}

TEST_F(ServiceLogTest, AppendsToWhatIsThere) {
    EnableServiceLog(true);
    WriteServiceLog(L"first");
    WriteServiceLog(L"second");
    EXPECT_EQ(file_.ReadBytes(),
              "[2026-03-05 07:04:09] first" + kEol + "[2026-03-05 07:04:09] second" + kEol);
}

TEST_F(ServiceLogTest, UnwritableFileOrClockFaultIsSilent) {
    EnableServiceLog(true);
    ServiceLogTarget().path = file_.WidePath() + L".missing-dir/velk.log";
    EXPECT_NO_THROW(WriteServiceLog(L"lost"));
    ServiceLogTarget().path = file_.WidePath();
    ServiceLogTarget().clock = []() -> LocalTime { throw std::runtime_error("no clock"); };
    EXPECT_NO_THROW(WriteServiceLog(L"lost too"));
    // The lock was released on the way out: the next entry is written.
    SetClock({2026, 3, 5, 7, 4, 9});
    WriteServiceLog(L"kept");
    EXPECT_EQ(file_.ReadBytes(), "[2026-03-05 07:04:09] kept" + kEol);
}

TEST_F(ServiceLogTest, ConcurrentWritersNeverInterleave) {
    EnableServiceLog(true);
    // The clock is read under the lock; two readings at once would mean two
    // entries are being written at once.
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    ServiceLogTarget().clock = [&inside, &overlapped] {
        if (++inside != 1) {
            overlapped = true;
        }
        std::this_thread::yield();
        --inside;
        return LocalTime{2026, 3, 5, 7, 4, 9};
    };
    constexpr int kPerThread = 200;
    auto writer = [](const std::wstring& name) {
        for (int i = 0; i < kPerThread; ++i) {
            WriteServiceLog(name + L" entry " + std::to_wstring(i) + L" " + std::wstring(40, L'x'));
        }
    };
    std::thread stopControl(writer, L"control");
    std::thread pipe(writer, L"pipe");
    stopControl.join();
    pipe.join();
    EXPECT_FALSE(overlapped.load());

    std::istringstream lines(file_.ReadBytes());
    std::string line;
    int nextControl = 0;
    int nextPipe = 0;
    const std::string tail = " " + std::string(40, 'x') + kEol.substr(0, kEol.size() - 1);
    while (std::getline(lines, line)) {
        const std::string control =
            "[2026-03-05 07:04:09] control entry " + std::to_string(nextControl) + tail;
        const std::string pipeLine =
            "[2026-03-05 07:04:09] pipe entry " + std::to_string(nextPipe) + tail;
        if (line == control) {
            ++nextControl;
        } else if (line == pipeLine) {
            ++nextPipe;
        } else {
            ADD_FAILURE() << "torn or misordered line: " << line;
            break;
        }
    }
    EXPECT_EQ(nextControl, kPerThread);
    EXPECT_EQ(nextPipe, kPerThread);
}

}  // namespace
}  // namespace velk
