#include "service/channel/service_log.h"

#include <atomic>
#include <mutex>

#include "service/service_constants.h"

#ifndef VELK_SERVICE_LOG_DEFAULT
#define VELK_SERVICE_LOG_DEFAULT 0
#endif

namespace velk {

namespace {
std::atomic<bool> serviceLogEnabled{VELK_SERVICE_LOG_DEFAULT != 0};
// One writer at a time, so that entries never interleave.
std::mutex serviceLogMutex;
}  // namespace

void EnableServiceLog(bool enabled) {
    serviceLogEnabled = enabled;
}

bool ServiceLogEnabled() {
    return serviceLogEnabled.load();
}

void WriteServiceLog(const std::wstring& message) {
    // The switch is off in every ordinary build: then no lock is taken and no
    // file is touched.
    if (!serviceLogEnabled.load()) {
        return;
    }
    try {
        const std::lock_guard<std::mutex> lock(serviceLogMutex);
        if (!serviceLogEnabled.load()) {
            return;
        }
        // Code units above U+00FF become "?", so an entry is never cut short
        // and the next one always starts on its own line.
        AppendLogEntry(ServiceLogTarget(), message);
    } catch (...) {
        // Logging never changes what the service does; the entry is lost.
    }
}

LogTarget& ServiceLogTarget() {
    static LogTarget target{kServiceLogPath, ReadLocalTime, kPlatformLineEnd};
    return target;
}

}  // namespace velk
