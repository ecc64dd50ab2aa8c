#include "netsteer/machine/helper_log.h"

#include <mutex>

#include "netsteer/netsteer_constants.h"

namespace netsteer {

namespace {
// Serialises the file appends within the process.
std::mutex logMutex;
}  // namespace

void WriteLog(const std::wstring& message) {
    try {
        // The debugger sees the message at once, without waiting for the file.
        OutputDebugText(message + L"\n");
    } catch (...) {
    }
    AppendLogFile(message);
}

void AppendLogFile(const std::wstring& message) {
    try {
        const std::lock_guard<std::mutex> lock(logMutex);
        // The clock is read once, under the lock, before the file is opened.
        // Code units above U+00FF become "?" so the entry stays whole.
        velk::AppendLogEntry(HelperLogTarget(), message);
    } catch (...) {
        // Logging never changes the helper's course; the entry is lost.
    }
}

velk::LogTarget& HelperLogTarget() {
    static velk::LogTarget target{kHelperLogPath, velk::ReadLocalTime, velk::kPlatformLineEnd};
    return target;
}

}  // namespace netsteer
