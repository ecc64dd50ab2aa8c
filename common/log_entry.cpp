#include "common/log_entry.h"

#include "common/file_append.h"

namespace velk {
namespace {

void AppendTwoDigits(std::string& out, unsigned value) {
    if (value <= 9) {
        out += '0';
    }
    out += std::to_string(value);
}

void AppendLineEnd(std::string& out, LineEnd lineEnd) {
    out += lineEnd == LineEnd::CrLf ? "\r\n" : "\n";
}

}  // namespace

std::string FormatLogEntry(const LocalTime& time, const std::wstring& message, LineEnd lineEnd) {
    std::string out;
    out.reserve(message.size() + 32);
    out += '[';
    out += std::to_string(time.year);
    out += '-';
    AppendTwoDigits(out, time.month);
    out += '-';
    AppendTwoDigits(out, time.day);
    out += ' ';
    AppendTwoDigits(out, time.hour);
    out += ':';
    AppendTwoDigits(out, time.minute);
    out += ':';
    AppendTwoDigits(out, time.second);
    out += "] ";
    for (const wchar_t unit : message) {
        const auto value = static_cast<std::uint32_t>(unit);
        if (value == L'\n') {
            AppendLineEnd(out, lineEnd);
        } else if (value > 0xFF) {
            out += '?';
        } else {
            out += static_cast<char>(static_cast<unsigned char>(value));
        }
    }
    AppendLineEnd(out, lineEnd);
    return out;
}

void AppendLogEntry(const LogTarget& target, const std::wstring& message) {
    const LocalTime now = target.clock ? target.clock() : ReadLocalTime();
    AppendToFile(target.path, FormatLogEntry(now, message, target.lineEnd));
}

void LogFile::Append(const std::wstring& message) noexcept {
    try {
        const std::lock_guard<std::mutex> lock(mutex_);
        AppendLogEntry(target_, message);
    } catch (...) {
        // Logging never changes what a program does; the entry is lost.
    }
}

}  // namespace velk
