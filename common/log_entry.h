#pragma once
// The log entry form that both programs write:
//   "[" year "-" MM "-" DD " " hh ":" mm ":" ss "] " message line-end
#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include "common/local_time.h"

namespace velk {

enum class LineEnd { Lf, CrLf };

// The line end a text-mode file gets on this platform; each platform's file
// append defines it.
extern const LineEnd kPlatformLineEnd;

// Formats one entry as the bytes that reach the disk. Each code unit up to
// U+00FF becomes the byte of the same value; a code unit above it becomes "?",
// so the entry always stays whole. Every LF (inside the message and at its
// end) becomes `lineEnd`; a CR inside the message stays as it is.
std::string FormatLogEntry(const LocalTime& time, const std::wstring& message, LineEnd lineEnd);

// Where and how one log file is written; tests swap in a temporary path and
// a fixed clock.
struct LogTarget {
    std::wstring path;
    std::function<LocalTime()> clock;
    LineEnd lineEnd = kPlatformLineEnd;
};

// Reads the clock once, formats the entry and appends it to the file, which is
// opened and closed for this one entry. Failures are silent: the entry is lost.
void AppendLogEntry(const LogTarget& target, const std::wstring& message);

// One log file of a program, written by any of its threads: one entry at a
// time (the clock read under the lock, so entries stay in time order), and a
// failure of any kind loses the entry and nothing more.
class LogFile {
  public:
    explicit LogFile(LogTarget target) : target_(std::move(target)) {}
    void Append(const std::wstring& message) noexcept;
    // Tests point the log elsewhere; not while other threads write.
    LogTarget& Target() { return target_; }

  private:
    LogTarget target_;
    std::mutex mutex_;
};

}  // namespace velk
