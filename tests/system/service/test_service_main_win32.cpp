// VelkVPNService for the scenarios that cannot use the production values:
// the same host, dispatcher and supervision, with the service log switched
// on, the helper's time-out cut to VELK_TEST_HELPER_TIMEOUT_MS, and no bound
// on how long a connected client may stall, so that only a stop can end the
// wait on one.
#include "service/channel/pipe_server.h"
#include "service/channel/service_log.h"
#include "service/channel/service_requests.h"
#include "service/host/event_log.h"
#include "service/host/service_host.h"
#include "service/supervision/windows_operations.h"

namespace {

class ShortHelperTimeout final : public velk::CommandOperations {
  public:
    explicit ShortHelperTimeout(velk::CommandOperations& inner) : inner_(inner) {}
    velk::XrayStatus QueryXrayStatus() override { return inner_.QueryXrayStatus(); }
    velk::CoreSessionHolder CoreSession() override { return inner_.CoreSession(); }
    velk::CoreStartOutcome StartXray(const std::wstring& path, const velk::CallerReadAccess& reader,
                                     const std::wstring& owner) override {
        return inner_.StartXray(path, reader, owner);
    }
    velk::OpResult StopXray() override { return inner_.StopXray(); }
    velk::OpResult RunHelperProcess(const std::wstring& program, const std::wstring& arguments,
                                    std::uint32_t) override {
        return inner_.RunHelperProcess(program, arguments, VELK_TEST_HELPER_TIMEOUT_MS);
    }
    std::wstring ReadCoreLogTail(velk::CoreLog log, std::int64_t maxBytes) override {
        return inner_.ReadCoreLogTail(log, maxBytes);
    }
    std::wstring GetModuleDirectory() override { return inner_.GetModuleDirectory(); }

  private:
    velk::CommandOperations& inner_;
};

}  // namespace

int wmain() {
    velk::EnableServiceLog(true);
    velk::ServiceEventLog eventLog;
    velk::WindowsOperations windows(velk::WriteServiceLog, eventLog.Sink());
    ShortHelperTimeout operations(windows);
    velk::ServiceRequests requests(operations, velk::WriteServiceLog, eventLog.Sink());
    velk::PipeServerOptions pipe;
    pipe.clientStallTimeoutMs = INFINITE;
    const velk::ServiceParts parts{windows, requests, velk::WriteServiceLog, eventLog.Sink(), pipe};
    return velk::RunServiceProgram(velk::WindowsServiceHostPlatform(parts), operations);
}
