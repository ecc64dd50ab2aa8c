// VelkVPNService for the scenarios that cannot wait for the production
// values: the same host, dispatcher and supervision, with the service log
// switched on and the helper's time-out cut to VELK_TEST_HELPER_TIMEOUT_MS.
#include "service/channel/service_log.h"
#include "service/host/service_host.h"
#include "service/supervision/windows_operations.h"

namespace {

class ShortHelperTimeout final : public velk::CommandOperations {
  public:
    explicit ShortHelperTimeout(velk::CommandOperations& inner) : inner_(inner) {}
    velk::XrayStatus QueryXrayStatus() override { return inner_.QueryXrayStatus(); }
    velk::OpResult StartXray(const std::wstring& path) override { return inner_.StartXray(path); }
    velk::OpResult StopXray() override { return inner_.StopXray(); }
    velk::OpResult RunHelperProcess(const std::wstring& program, const std::wstring& arguments,
                                    std::uint32_t) override {
        return inner_.RunHelperProcess(program, arguments, VELK_TEST_HELPER_TIMEOUT_MS);
    }
    std::wstring ReadFileTail(const std::wstring& path, std::int64_t maxBytes) override {
        return inner_.ReadFileTail(path, maxBytes);
    }
    std::wstring GetModuleDirectory() override { return inner_.GetModuleDirectory(); }

  private:
    velk::CommandOperations& inner_;
};

}  // namespace

int wmain() {
    velk::serviceLogEnabled = true;
    static ShortHelperTimeout operations(velk::WindowsCommandOperations());
    return velk::RunServiceProgram(operations);
}
