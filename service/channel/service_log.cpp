#include "service/channel/service_log.h"

#include <atomic>

#include "service/service_constants.h"

#ifndef VELK_SERVICE_LOG_DEFAULT
#define VELK_SERVICE_LOG_DEFAULT 0
#endif

namespace velk {

namespace {
std::atomic<bool> serviceLogEnabled{VELK_SERVICE_LOG_DEFAULT != 0};

LogFile& ServiceLogFile() {
    static LogFile file(LogTarget{kServiceLogPath, ReadLocalTime, kPlatformLineEnd});
    return file;
}
}  // namespace

void EnableServiceLog(bool enabled) {
    serviceLogEnabled = enabled;
}

bool ServiceLogEnabled() {
    return serviceLogEnabled.load();
}

void WriteServiceLog(const std::wstring& message) {
    // The switch is off in every ordinary build: then no lock is taken and no
    // file is touched. Code units above U+00FF become "?", so an entry is
    // never cut short and the next one always starts on its own line.
    if (serviceLogEnabled.load()) {
        ServiceLogFile().Append(message);
    }
}

LogTarget& ServiceLogTarget() {
    return ServiceLogFile().Target();
}

}  // namespace velk
