#include "service/channel/service_requests.h"

#include <utility>

#include "service/channel/command_dispatcher.h"
#include "service/channel/pipe_caller.h"
#include "service/service_constants.h"

namespace velk {

ServiceRequests::ServiceRequests(CommandOperations& operations, LogSink log, EventSink events)
    : operations_(operations),
      log_(std::move(log)),
      sessions_(std::move(events)),
      trustedGroup_(kUsersGroupName) {}

std::wstring ServiceRequests::Handle(const std::wstring& request, HANDLE client) {
    PipeCaller caller(client, trustedGroup_);
    return HandleCommand(request, caller, sessions_, operations_, log_);
}

}  // namespace velk
