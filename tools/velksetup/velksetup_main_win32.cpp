// velksetup: the steps the installers take beyond copying files and
// registering the service.
//   velksetup restart-on-failure   the service restarts after a failure
//   velksetup restore-routes       the routing netsteer saved is put back
//   velksetup add-group [ACCOUNT]  "VelkVPN Users" exists and holds ACCOUNT
//                                  (a SID or a name; default: this user)
//   velksetup remove-group         "VelkVPN Users" is gone
//   velksetup register-events      the service's event log source is there
//   velksetup unregister-events    ... and gone
//   velksetup make-data-folder     C:\ProgramData\VELK-VPN is there and ours
// Exit code 0 when the step is done, 1 for a bad command line, 2 when the
// step failed (the reason on standard error).
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/wide_text.h"
#include "service/service_constants.h"
#include "service/supervision/module_directory.h"
#include "tools/velksetup/data_folder.h"
#include "tools/velksetup/event_source.h"
#include "tools/velksetup/restart_policy.h"
#include "tools/velksetup/route_restore.h"
#include "tools/velksetup/users_group.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitBadCommandLine = 1;
constexpr int kExitFailed = 2;
constexpr wchar_t kServiceProgramName[] = L"VelkVPNService.exe";
constexpr wchar_t kUsage[] =
    L"usage: velksetup restart-on-failure | restore-routes | add-group [ACCOUNT] | "
    L"remove-group | register-events | unregister-events | make-data-folder";

void Print(FILE* stream, const std::wstring& text) {
    const std::string bytes = velk::WideToUtf8(text + L"\n");
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

int Report(const velk::setup::SetupResult& result) {
    if (result.ok) {
        Print(stdout, L"velksetup: " + result.detail);
        return kExitDone;
    }
    Print(stderr,
          L"velksetup: " + result.detail + L" (error " + velk::ToDecimal(result.code) + L")");
    return kExitFailed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring action = argc >= 2 ? argv[1] : L"";
    if (action == L"add-group" && argc <= 3) {
        return Report(velk::setup::AddUsersGroup(argc == 3 ? argv[2] : L""));
    }
    if (argc != 2) {
        Print(stderr, kUsage);
        return kExitBadCommandLine;
    }
    if (action == L"restart-on-failure") {
        return Report(velk::setup::ApplyRestartOnFailure(velk::kServiceName));
    }
    if (action == L"restore-routes") {
        return Report(velk::setup::RestoreSavedRouting(velk::GetModuleDirectory()));
    }
    if (action == L"remove-group") {
        return Report(velk::setup::RemoveUsersGroup());
    }
    if (action == L"register-events") {
        return Report(velk::setup::RegisterServiceEventSource(velk::GetModuleDirectory() +
                                                              kServiceProgramName));
    }
    if (action == L"unregister-events") {
        return Report(velk::setup::UnregisterServiceEventSource());
    }
    if (action == L"make-data-folder") {
        return Report(velk::setup::MakeDataFolder());
    }
    Print(stderr, kUsage);
    return kExitBadCommandLine;
}
