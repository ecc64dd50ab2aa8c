#include "netsteer/machine/helper_log.h"
#include "service/channel/service_log.h"
#include "service/host/service_host.h"
#include "service/service_constants.h"

namespace velk {

void WriteRouteRestoreLog(const std::wstring& message) {
    WriteServiceLog(message);
    netsteer::WriteLog(kServiceRestoreLogPrefix + message);
}

}  // namespace velk
