#include "common/log_entry.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/unit/common/temp_file.h"

namespace velk {
namespace {

struct EntryCase {
    const char* name;
    LocalTime time;
    std::wstring message;
    LineEnd lineEnd;
    std::string bytes;
};

TEST(FormatLogEntryTest, WritesTheEntryByteForByte) {
    const EntryCase cases[] = {
        {"single-digit fields get a zero",
         {2026, 3, 5, 7, 4, 9},
         L"Pipe server loop started.",
         LineEnd::CrLf,
         "[2026-03-05 07:04:09] Pipe server loop started.\r\n"},
        {"two-digit fields stand as they are",
         {2026, 11, 12, 23, 45, 30},
         L"x",
         LineEnd::Lf,
         "[2026-11-12 23:45:30] x\n"},
        {"nine and ten", {2026, 9, 10, 9, 10, 9}, L"x", LineEnd::Lf, "[2026-09-10 09:10:09] x\n"},
        {"midnight on new year",
         {2027, 1, 1, 0, 0, 0},
         L"",
         LineEnd::Lf,
         "[2027-01-01 00:00:00] \n"},
        {"last second of the year",
         {2026, 12, 31, 23, 59, 59},
         L"",
         LineEnd::CrLf,
         "[2026-12-31 23:59:59] \r\n"},
        {"year without padding", {987, 1, 1, 0, 0, 0}, L"", LineEnd::Lf, "[987-01-01 00:00:00] \n"},
        {"largest year", {65535, 1, 1, 0, 0, 0}, L"", LineEnd::Lf, "[65535-01-01 00:00:00] \n"},
        {"LF inside the message, text mode",
         {2026, 3, 5, 7, 4, 9},
         L"a\nb",
         LineEnd::CrLf,
         "[2026-03-05 07:04:09] a\r\nb\r\n"},
        {"LF inside the message, plain",
         {2026, 3, 5, 7, 4, 9},
         L"a\nb",
         LineEnd::Lf,
         "[2026-03-05 07:04:09] a\nb\n"},
        {"CR stays, its LF is widened",
         {2026, 3, 5, 7, 4, 9},
         L"a\r\nb\r",
         LineEnd::CrLf,
         "[2026-03-05 07:04:09] a\r\r\nb\r\r\n"},
        {"Latin-1 code units are single bytes",
         {2026, 3, 5, 7, 4, 9},
         std::wstring{wchar_t(0x7F), wchar_t(0x80), wchar_t(0xA0), wchar_t(0xE9), wchar_t(0xFF)},
         LineEnd::Lf,
         "[2026-03-05 07:04:09] \x7F\x80\xA0\xE9\xFF\n"},
        {"NUL code unit is a byte",
         {2026, 3, 5, 7, 4, 9},
         std::wstring(1, L'\0'),
         LineEnd::Lf,
         std::string("[2026-03-05 07:04:09] ") + '\0' + "\n"},
        {"above U+00FF becomes a question mark",
         {2026, 3, 5, 7, 4, 9},
         std::wstring{L'a', wchar_t(0x100), wchar_t(0x0416), wchar_t(0xFFFF), L'b'},
         LineEnd::CrLf,
         "[2026-03-05 07:04:09] a???b\r\n"},
        {"each surrogate becomes a question mark",
         {2026, 3, 5, 7, 4, 9},
         std::wstring{wchar_t(0xD83D), wchar_t(0xDE00), wchar_t(0xDC00)},
         LineEnd::Lf,
         "[2026-03-05 07:04:09] ???\n"},
    };
    for (const EntryCase& c : cases) {
        EXPECT_EQ(FormatLogEntry(c.time, c.message, c.lineEnd), c.bytes) << c.name;
    }
}

TEST(AppendLogEntryTest, ReadsTheClockOncePerEntryAndAppends) {
    test_files::TempFile file("velk-log-entry");
    int clockReads = 0;
    LogTarget target{file.WidePath(),
                     [&clockReads] {
                         ++clockReads;
                         return LocalTime{2026, 3, 7, 9, 5, static_cast<std::uint16_t>(clockReads)};
                     },
                     LineEnd::CrLf};
    AppendLogEntry(target, L"Tunnel index found");
    AppendLogEntry(target, L"second\nline");
    EXPECT_EQ(clockReads, 2);
    EXPECT_EQ(
        file.ReadBytes(),
        "[2026-03-07 09:05:01] Tunnel index found\r\n[2026-03-07 09:05:02] second\r\nline\r\n");
}

TEST(AppendLogEntryTest, UnopenableFileIsSilent) {
    test_files::TempFile file("velk-log-entry");
    const LogTarget target{file.WidePath() + L".missing-dir/entry.log",
                           [] { return LocalTime{2026, 1, 1, 0, 0, 0}; }, LineEnd::Lf};
    EXPECT_NO_THROW(AppendLogEntry(target, L"lost"));
    EXPECT_FALSE(file.Exists());
}

}  // namespace
}  // namespace velk
