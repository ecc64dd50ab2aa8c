#pragma once
// The service's requests as the pipe server hands them on: each pipe client
// becomes a PipeCaller, and its request goes to the dispatcher with the
// sessions of this run.
#include <windows.h>

#include <string>

#include "common/log_sink.h"
#include "service/channel/caller_tokens.h"
#include "service/channel/pipe_server.h"
#include "service/channel/session_access.h"
#include "service/supervision/command_operations.h"
#include "service/supervision/service_events.h"

namespace velk {

class ServiceRequests final : public RequestHandler {
  public:
    // `operations` must outlive this. Refusals are reported to `events`;
    // requests and answers are logged to `log`.
    ServiceRequests(CommandOperations& operations, LogSink log, EventSink events);

    std::wstring Handle(const std::wstring& request, HANDLE client) override;

  private:
    CommandOperations& operations_;
    LogSink log_;
    // As long as this lives: one run of the service.
    SessionAccess sessions_;
    LocalGroupLookup trustedGroup_;
};

}  // namespace velk
