#include "service/supervision/windows_operations.h"

#include <utility>

#include "service/service_constants.h"
#include "service/supervision/helper_runner.h"
#include "service/supervision/module_directory.h"

namespace velk {
namespace {

CoreProcessSettings ServiceCoreSettings(LogSink log, EventSink events) {
    CoreProcessSettings settings;
    // The paths and times are the settings' own defaults, the fixed constants.
    settings.programDirectory = velk::GetModuleDirectory();
    settings.log = std::move(log);
    settings.events = std::move(events);
    return settings;
}

}  // namespace

WindowsOperations::WindowsOperations(LogSink log, EventSink events)
    : log_(log), core_(ServiceCoreSettings(std::move(log), std::move(events))) {}

XrayStatus WindowsOperations::QueryXrayStatus() {
    return core_.QueryXrayStatus();
}

CoreSessionHolder WindowsOperations::CoreSession() {
    return core_.Holder();
}

CoreStartOutcome WindowsOperations::StartXray(const std::wstring& configPath,
                                              const CallerReadAccess& reader,
                                              const std::wstring& owner) {
    return core_.StartXray(configPath, reader, owner);
}

OpResult WindowsOperations::StopXray() {
    return core_.StopXray();
}

Win32Status WindowsOperations::PrepareDataDirectory() {
    return core_.PrepareDataDirectory();
}

OpResult WindowsOperations::RunHelperProcess(const std::wstring& programPath,
                                             const std::wstring& arguments,
                                             std::uint32_t timeoutMs) {
    HelperRunSettings settings;
    settings.workingDirectory = velk::GetModuleDirectory();
    settings.log = log_;
    settings.stopEvent = stopEvent_;
    settings.progress = stopProgress_;
    return velk::RunHelperProcess(settings, programPath, arguments, timeoutMs);
}

void WindowsOperations::WatchForStop(HANDLE stopEvent,
                                     std::function<void(std::uint32_t)> progress) {
    stopEvent_ = stopEvent;
    stopProgress_ = std::move(progress);
}

std::wstring WindowsOperations::ReadCoreLogTail(CoreLog log, std::int64_t maxBytes) {
    Win32Result<std::wstring> tail = core_.ReadLogTail(log, maxBytes);
    return tail ? std::move(tail.value()) : std::wstring();
}

std::wstring WindowsOperations::GetModuleDirectory() {
    return velk::GetModuleDirectory();
}

}  // namespace velk
