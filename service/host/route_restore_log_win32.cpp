#include <utility>

#include "netsteer/machine/helper_log.h"
#include "service/host/service_host.h"
#include "service/service_constants.h"

namespace velk {

LogSink RouteRestoreLog(LogSink serviceLog) {
    return [serviceLog = std::move(serviceLog)](const std::wstring& message) {
        LogTo(serviceLog, message);
        netsteer::WriteLog(kServiceRestoreLogPrefix + message);
    };
}

}  // namespace velk
