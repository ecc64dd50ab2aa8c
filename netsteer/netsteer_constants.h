#pragma once
// Every fixed path, pause, count and metric of netsteer, named once.
#include <cstddef>
#include <cstdint>

namespace netsteer {

inline constexpr wchar_t kHelperLogPath[] = L"C:\\ProgramData\\ravik_helper.log";
inline constexpr wchar_t kStateFilePath[] = L"C:\\ProgramData\\ravik_route_state.txt";

// Every command runs through the command interpreter of the system folder,
// and each tool starts from there too: as LocalSystem, a folder on the search
// path must never decide which program runs (powershell.exe is not in the
// system folder itself, so a search would reach the path's folders).
inline constexpr wchar_t kCommandInterpreterName[] = L"cmd.exe";
// /S: only the outer quotes around the command are dropped, so a quoted tool
// path and the quotes of the command itself all stay as they are.
inline constexpr wchar_t kCommandInterpreterSwitches[] = L" /S /C ";
struct SystemTool {
    const wchar_t* name;          // the command's first word
    const wchar_t* relativePath;  // below the system folder
};
inline constexpr SystemTool kSystemTools[] = {
    {L"route", L"route.exe"},
    {L"netsh", L"netsh.exe"},
    {L"powershell", L"WindowsPowerShell\\v1.0\\powershell.exe"},
    {L"ipconfig", L"ipconfig.exe"},
};
// A child's output is read in chunks of at most this many bytes, so that a
// terminating 0 always fits after the data in a buffer one byte larger.
inline constexpr std::size_t kCommandReadChunkBytes = 4095;
// A tool whose process could not be made for want of resources is started
// again, at most this many times in all, after this pause.
inline constexpr int kCommandStartAttempts = 3;
inline constexpr std::uint32_t kCommandStartRetryPauseMs = 250;

inline constexpr std::uint32_t kRouteCommandPauseMs = 300;
inline constexpr std::uint32_t kDeleteDefaultsPauseMs = 400;
inline constexpr std::uint32_t kTunnelRetryPauseMs = 500;
inline constexpr std::uint32_t kUndoLeftoverPauseMs = 500;
inline constexpr std::uint32_t kFinishPauseMs = 700;
inline constexpr int kTunnelLookupAttempts = 120;
// The tunnel search ends this long after netsteer started, whatever the
// attempts have cost: the service ends a run after 70 s, and the rest of
// `start` (fixed pauses of about 2.3 s, the route listing, the uplink query
// and up to five route commands) needs a few seconds even on a slow machine.
// A search that ran into the service's limit would be ended without its code,
// or start changing routes just before the process is ended.
inline constexpr std::uint64_t kTunnelSearchDeadlineMs = 50000;

inline constexpr int kBypassRouteMetric = 1;
inline constexpr int kTunnelDefaultRouteMetric = 1;
inline constexpr int kRestoredDefaultRouteMetric = 25;

// The two halves of the IPv6 address space that `start` routes into the
// tunnel: together they beat any default route (::/0) by prefix length, and
// they go into the active store only, so a restart drops them.
inline constexpr const wchar_t* kTunnelIpv6Halves[] = {L"::/1", L"8000::/1"};
// The tag of the NRPT rule that sends every name to the tunnel's DNS servers;
// the undo removes every rule with this comment, ours from any earlier run too.
inline constexpr wchar_t kNrptRuleComment[] = L"VelkVPN";
// The action that removes every tagged NRPT rule, run by the service at each
// start: `netsteer clear-dns`.
inline constexpr wchar_t kClearDnsAction[] = L"clear-dns";
// At most this many DNS servers are taken from the command line.
inline constexpr std::size_t kMaxTunnelDnsServers = 4;

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
    // The state file could not be written, so no route was changed: `stop`
    // could not have undone it.
    kExitSaveStateFailed = 11,
};

}  // namespace netsteer
