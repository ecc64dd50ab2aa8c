#pragma once
// Every fixed path, pause, count and metric of netsteer, named once.
#include <cstdint>

namespace netsteer {

inline constexpr wchar_t kHelperLogPath[] = L"C:\\ProgramData\\ravik_helper.log";
inline constexpr wchar_t kStateFilePath[] = L"C:\\ProgramData\\ravik_route_state.txt";

inline constexpr std::uint32_t kRouteCommandPauseMs = 300;
inline constexpr std::uint32_t kDeleteDefaultsPauseMs = 400;
inline constexpr std::uint32_t kTunnelRetryPauseMs = 500;
inline constexpr std::uint32_t kUndoLeftoverPauseMs = 500;
inline constexpr std::uint32_t kFinishPauseMs = 700;
inline constexpr int kTunnelLookupAttempts = 120;

inline constexpr int kBypassRouteMetric = 1;
inline constexpr int kTunnelDefaultRouteMetric = 1;
inline constexpr int kRestoredDefaultRouteMetric = 25;

// Exit codes of netsteer; the service passes them to its client unchanged.
enum ExitCode : int {
    kExitOk = 0,
    kExitBadCommandLine = 1,
    kExitHostNotResolved = 2,
    kExitTunnelNotFound = 3,
    kExitNoDefaultRoute = 4,
    kExitNoUplinkIndex = 5,
    kExitUnknownAction = 6,
    kExitNoStateOnStop = 7,
    kExitTunnelRouteFailed = 8,
    kExitBypassRouteFailed = 9,
    kExitRestoreFailed = 10,
};

}  // namespace netsteer
