#include "service/supervision/windows_operations.h"

#include <utility>

#include "service/service_constants.h"
#include "service/supervision/core_process_manager.h"
#include "service/supervision/helper_runner.h"
#include "service/supervision/module_directory.h"

namespace velk {
namespace {

CoreProcessSettings ServiceCoreSettings(const LogSink& log, const EventSink& events) {
    CoreProcessSettings settings;
    // The paths and times are the settings' own defaults, the fixed constants.
    settings.programDirectory = [] { return velk::GetModuleDirectory(); };
    settings.log = log;
    settings.events = events;
    return settings;
}

class WindowsOperations final : public CommandOperations {
  public:
    WindowsOperations()
        : core_(ServiceCoreSettings(
              [this](const std::wstring& message) { Log(message); },
              [this](ServiceEvent event, const std::vector<std::wstring>& inserts) {
                  if (events_) {
                      events_(event, inserts);
                  }
              })) {}

    void LogTo(LogSink log) { log_ = std::move(log); }
    void ReportEventsTo(EventSink events) { events_ = std::move(events); }

    XrayStatus QueryXrayStatus() override { return core_.QueryXrayStatus(); }
    CoreSessionHolder CoreSession() override { return core_.Holder(); }
    CoreStartOutcome StartXray(const std::wstring& configPath, const CallerMayRead& mayRead,
                               const std::wstring& owner) override {
        return core_.StartXray(configPath, mayRead, owner);
    }
    OpResult StopXray() override { return core_.StopXray(); }
    Win32Status PrepareDataDirectory() { return core_.PrepareDataDirectory(); }

    OpResult RunHelperProcess(const std::wstring& programPath, const std::wstring& arguments,
                              std::uint32_t timeoutMs) override {
        HelperRunSettings settings;
        settings.workingDirectory = velk::GetModuleDirectory();
        settings.log = [this](const std::wstring& message) { Log(message); };
        settings.stopEvent = stopEvent_;
        settings.progress = stopProgress_;
        return velk::RunHelperProcess(settings, programPath, arguments, timeoutMs);
    }

    void WatchForStop(HANDLE stopEvent, std::function<void(std::uint32_t)> progress) {
        stopEvent_ = stopEvent;
        stopProgress_ = std::move(progress);
    }

    // The client is shown nothing when the log cannot be read; a missing or
    // unreadable log is no fault of the service's.
    std::wstring ReadCoreLogTail(CoreLog log, std::int64_t maxBytes) override {
        Win32Result<std::wstring> tail = core_.ReadLogTail(log, maxBytes);
        return tail ? std::move(tail.value()) : std::wstring();
    }

    std::wstring GetModuleDirectory() override { return velk::GetModuleDirectory(); }

  private:
    void Log(const std::wstring& message) const { velk::LogTo(log_, message); }

    // Set before the pipe server starts, like the stop event below.
    LogSink log_;
    EventSink events_;
    CoreProcessManager core_;
    // Set before the pipe server starts and read only on its thread.
    HANDLE stopEvent_ = nullptr;
    std::function<void(std::uint32_t)> stopProgress_;
};

WindowsOperations& Operations() {
    static WindowsOperations operations;
    return operations;
}

}  // namespace

CommandOperations& WindowsCommandOperations() {
    return Operations();
}

void LogOperationsTo(LogSink log) {
    Operations().LogTo(std::move(log));
}

void ReportOperationEventsTo(EventSink events) {
    Operations().ReportEventsTo(std::move(events));
}

Win32Status PrepareCoreDataDirectory() {
    return Operations().PrepareDataDirectory();
}

void WatchForServiceStop(HANDLE stopEvent, std::function<void(std::uint32_t)> progress) {
    Operations().WatchForStop(stopEvent, std::move(progress));
}

}  // namespace velk
