#pragma once
// The Windows implementation of CommandOperations: the core process manager,
// the route helper runner, the error log reader and the module directory.
#include <windows.h>

#include <cstdint>
#include <functional>

#include "common/log_sink.h"
#include "service/supervision/command_operations.h"
#include "service/supervision/core_process_manager.h"
#include "service/supervision/service_events.h"

namespace velk {

// Made once by the program that puts the service together; it owns the one
// core process slot for as long as it lives.
class WindowsOperations final : public CommandOperations {
  public:
    // Logs to `log`; reports to `events` a refused configuration, a file moved
    // aside and a core that ended by itself.
    WindowsOperations(LogSink log, EventSink events);

    XrayStatus QueryXrayStatus() override;
    CoreSessionHolder CoreSession() override;
    CoreStartOutcome StartXray(const std::wstring& configPath, const CallerReadAccess& reader,
                               const std::wstring& owner) override;
    OpResult StopXray() override;
    OpResult RunHelperProcess(const std::wstring& programPath, const std::wstring& arguments,
                              std::uint32_t timeoutMs) override;
    // The client is shown nothing when the log cannot be read; a missing or
    // unreadable log is no fault of the service's.
    std::wstring ReadCoreLogTail(CoreLog log, std::int64_t maxBytes) override;
    std::wstring GetModuleDirectory() override;

    // Makes the data directory ready now, as each start of the core does
    // (CoreProcessManager::PrepareDataDirectory); the service calls this as
    // it starts.
    Win32Status PrepareDataDirectory();

    // From now on, route helper runs watch `stopEvent` and, once it is set,
    // call `progress` while they wait for the helper to end (see
    // HelperRunSettings). Called on the thread that serves requests, before
    // and after it serves them.
    void WatchForStop(HANDLE stopEvent, std::function<void(std::uint32_t)> progress);

  private:
    LogSink log_;
    CoreProcessManager core_;
    HANDLE stopEvent_ = nullptr;
    std::function<void(std::uint32_t)> stopProgress_;
};

}  // namespace velk
