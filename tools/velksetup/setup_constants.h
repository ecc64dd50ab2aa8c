#pragma once
// The settings the installers give the service, named once.
#include <cstdint>

#include "service/service_constants.h"

namespace velk::setup {

// Restart on failure: the service manager restarts the service this long
// after it failed, for the first kRestartAttempts failures; the count of
// failures starts again after kFailureCountResetSeconds without one.
inline constexpr std::uint32_t kRestartDelayMs = 5000;
inline constexpr std::uint32_t kRestartAttempts = 3;
inline constexpr std::uint32_t kFailureCountResetSeconds = 24 * 60 * 60;

// Where Windows' service manager keeps a service's settings, and the value
// that holds its failure actions.
inline constexpr wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
inline constexpr wchar_t kFailureActionsValue[] = L"FailureActions";

// Where the Application event log keeps its sources, and what the service's
// source supports: information, warning and error events.
inline constexpr wchar_t kEventSourcesKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
inline constexpr std::uint32_t kEventTypesSupported = 0x7;

// How long the routing restore waits for a stopping service, which ends its
// core and may run netsteer once more (see the service's constants), and how
// often it looks.
inline constexpr std::uint32_t kServiceStopLimitMs =
    kCoreTerminateWaitMs + kHelperTimeoutMs + kServicePendingWaitHintMs;
inline constexpr std::uint32_t kServiceStopPollMs = 200;

// Begins every line these steps write to the helper log, so that a reader
// tells them from netsteer's own.
inline constexpr wchar_t kRestoreLogPrefix[] = L"[SETUP] ";

}  // namespace velk::setup
