#include "netsteer/machine/helper_log.h"

#include "netsteer/netsteer_constants.h"

namespace netsteer {

namespace {
velk::LogFile& HelperLogFile() {
    static velk::LogFile file(
        velk::LogTarget{kHelperLogPath, velk::ReadLocalTime, velk::kPlatformLineEnd});
    return file;
}
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
    // Code units above U+00FF become "?" so the entry stays whole.
    HelperLogFile().Append(message);
}

velk::LogTarget& HelperLogTarget() {
    return HelperLogFile().Target();
}

}  // namespace netsteer
