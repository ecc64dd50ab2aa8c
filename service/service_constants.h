#pragma once
// Every fixed name, path, time-out and code of VelkVPNService, named once.
#include <cstddef>
#include <cstdint>

#include "common/file_security.h"

namespace velk {

inline constexpr wchar_t kServiceName[] = L"VelkVPNService";
// The local group whose members may use the service without elevation, and
// what the installers write as its description.
inline constexpr wchar_t kUsersGroupName[] = L"VelkVPN Users";
inline constexpr wchar_t kUsersGroupComment[] =
    L"Members may connect and disconnect VelkVPN: start and stop the VPN core with a "
    L"configuration they can read, and switch the routing into the tunnel and back.";
// Where the installers record the group's SID, under HKEY_LOCAL_MACHINE: a
// key only SYSTEM and Administrators may change (Users may read it), so that
// the service knows the very group that was made, by SID and without a
// name lookup.
inline constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\VelkVPN";
inline constexpr wchar_t kSettingsKeySddl[] = L"D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)";
inline constexpr wchar_t kUsersGroupSidValue[] = L"UsersGroupSid";
// How long the service keeps the group it resolved (or found missing) before
// it asks the machine again. The member list is still read at each request;
// this only spares the pipe's one thread the lookups.
inline constexpr std::uint64_t kUsersGroupCacheMs = 60000;
// Refusals in the event log: at most one event per account in this window,
// carrying how many refusals it stands for; at most this many accounts are
// followed one by one, and those beyond share one entry, so that neither the
// table nor the event log grows with a crowd of accounts.
inline constexpr std::uint64_t kRefusalEventWindowMs = 60000;
inline constexpr std::size_t kRefusalEventAccounts = 64;
// The account insert of that shared entry, followed by the last account.
inline constexpr wchar_t kRefusalOtherAccounts[] = L"(other accounts; the last: ";
inline constexpr wchar_t kPipeName[] = L"\\\\.\\pipe\\velk_vpn_service_pipe";
inline constexpr wchar_t kServiceLogPath[] = L"C:\\ProgramData\\velk_vpn_service.log";

inline constexpr wchar_t kDataDirectory[] = L"C:\\ProgramData\\VELK-VPN";
inline constexpr wchar_t kCoreRuntimeLogPath[] =
    L"C:\\ProgramData\\VELK-VPN\\xray_runtime_error.log";
inline constexpr wchar_t kCoreErrorLogPath[] = L"C:\\ProgramData\\VELK-VPN\\xray_error.log";
// The data directory's own security, not inherited from C:\ProgramData (where
// any user may add files): SYSTEM and Administrators full control, passed on
// to everything inside, and nobody else: the core's output holds the sites
// the user visited, and the configuration copy the user's server keys.
inline constexpr wchar_t kDataDirectorySddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// How much of a data folder found in place is checked for links and other
// owners before it is kept. It holds a few logs and the files moved aside
// over time; one deeper or fuller than this is moved aside unchecked. An
// entry takes about a millisecond to check under Wine (measured here), so a
// full folder adds about a second to the service's start, within its wait
// hint.
inline constexpr std::size_t kDataFolderMaxDepth = 8;
inline constexpr std::size_t kDataFolderMaxEntries = 1000;
// Each file the service makes there: SYSTEM and Administrators only, set on
// the file itself so that it holds whatever the folder passes on.
inline constexpr const wchar_t* kDataFileSddl = kSystemOnlyFileSddl;
// The core's configuration as the caller's file held it when the service
// read it; the core reads this copy, so nothing can change in between.
inline constexpr wchar_t kCoreConfigCopyPath[] = L"C:\\ProgramData\\VELK-VPN\\xray_config.json";
// The most of a caller's configuration the service reads: configurations
// with long rule lists run to a few megabytes, and the service holds the
// whole file while it checks it.
inline constexpr std::uint64_t kMaxCoreConfigBytes = 16u * 1024u * 1024u;
inline constexpr wchar_t kCoreProgramName[] = L"xray.exe";
inline constexpr wchar_t kHelperProgramName[] = L"netsteer.exe";

inline constexpr std::uint32_t kHelperTimeoutMs = 70000;
inline constexpr std::uint32_t kHelperTimeoutCode = 1460;  // ERROR_TIMEOUT
// After ending a helper's process tree, the runner waits this long for it to go.
inline constexpr std::uint32_t kHelperTreeEndWaitMs = 5000;
inline constexpr std::uint32_t kCoreSettleMs = 700;
inline constexpr std::uint32_t kCoreTerminateWaitMs = 5000;
inline constexpr std::uint32_t kStillActiveCode = 259;  // STILL_ACTIVE
inline constexpr std::int64_t kErrorLogTailBytes = 8192;
// The answer's code for a configuration the service refuses to give the core
// (ERROR_INVALID_PARAMETER, as clients have always been told).
inline constexpr std::uint32_t kConfigRefusedCode = 87;

inline constexpr std::uint32_t kPipeBufferBytes = 4096;
inline constexpr std::uint32_t kMaxRequestBytes = 4094;
inline constexpr std::uint32_t kPipeCreateRetryMs = 1000;
// A client gets this long to write its request and to read its response.
inline constexpr std::uint32_t kClientStallTimeoutMs = 5000;
// When every instance of the pipe is taken, a client that has written
// nothing this long after connecting, or has left its answer untaken this
// long, is let go to make room for the next one. Well above the time a
// client needs between opening the pipe and writing its request (velkctl
// first asks the control manager who the service is) or between writing it
// and reading the answer, and short enough that a waiting client gets in long
// before velkctl's default wait of 10 s ends, however many clients crowd it.
inline constexpr std::uint32_t kPipeRoomGraceMs = 300;
// While every instance is taken and a process holds more than this many,
// only that process's clients are let go for room, each once past the grace.
// A client makes one connection per request and a user interface at most two
// at a time (a status poll beside a command); every velkctl run is a process
// of its own. So a crowd from one process pays for the room it takes alone,
// and the client of another process that is slow to write keeps its
// instance. The grace still holds for the crowd's process: a client there
// that takes its answer promptly is never cut off, since a process's crowd
// and its careful clients cannot be told apart by the process id.
inline constexpr std::size_t kPipeInstancesPerProcess = 2;
// Once a stop has been asked for, a client gets only this long to take a
// response already written before it is disconnected.
inline constexpr std::uint32_t kPipeStopGraceMs = 250;
// How long the pipe server waits for its cancelled operations to come back
// before it closes the instances.
inline constexpr std::uint32_t kPipeCancelWaitMs = 5000;

inline constexpr std::uint32_t kServicePendingWaitHintMs = 3000;
// Begins the service's lines in the helper log (a saved routing put back at
// start or stop), so that a reader tells them from netsteer's own.
inline constexpr wchar_t kServiceRestoreLogPrefix[] = L"[SERVICE] ";
inline constexpr wchar_t kRestoreAtStart[] = L"at service start";
inline constexpr wchar_t kRestoreAtStop[] = L"at service stop";
// While a stop waits for a route helper to finish, the control manager hears
// of progress this often.
inline constexpr std::uint32_t kStopProgressIntervalMs = 1000;

}  // namespace velk
