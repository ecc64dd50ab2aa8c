// VelkVPNService for the scenarios that cannot use the production values:
// the same host, dispatcher and supervision, with the service log switched
// on, the helper's time-out cut to VELK_TEST_HELPER_TIMEOUT_MS, and no bound
// on how long a connected client may stall, so that only a stop can end the
// wait on one.
#include "service/channel/pipe_caller.h"
#include "service/channel/pipe_server.h"
#include "service/channel/service_log.h"
#include "service/host/event_log.h"
#include "service/host/service_host.h"
#include "service/supervision/windows_operations.h"

namespace {

class ShortHelperTimeout final : public velk::CommandOperations {
  public:
    explicit ShortHelperTimeout(velk::CommandOperations& inner) : inner_(inner) {}
    velk::XrayStatus QueryXrayStatus() override { return inner_.QueryXrayStatus(); }
    velk::CoreSessionHolder CoreSession() override { return inner_.CoreSession(); }
    velk::CoreStartOutcome StartXray(const std::wstring& path, const velk::CallerMayRead& mayRead,
                                     const std::wstring& owner) override {
        return inner_.StartXray(path, mayRead, owner);
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
    velk::LogOperationsTo(velk::WriteServiceLog);
    velk::ReportOperationEventsTo(velk::ServiceEventLog());
    static ShortHelperTimeout operations(velk::WindowsCommandOperations());
    velk::ServiceHostPlatform platform = velk::WindowsServiceHostPlatform(operations);
    platform.runPipeServer = [](HANDLE stopEvent, const std::function<void()>& onceListening) {
        velk::WatchForServiceStop(stopEvent, velk::ReportStopProgress);
        velk::PipeServerOptions options;
        options.clientStallTimeoutMs = INFINITE;
        options.onceListening = onceListening;
        velk::SessionAccess sessions(velk::ServiceEventLog());
        velk::RunPipeServer(
            stopEvent,
            [&sessions](const std::wstring& request, HANDLE client) {
                velk::PipeCaller caller(client);
                return velk::HandleCommand(request, caller, sessions, operations,
                                           velk::WriteServiceLog);
            },
            velk::WriteServiceLog, options);
        velk::WatchForServiceStop(nullptr, nullptr);
    };
    return velk::RunServiceProgram(std::move(platform), operations);
}
