#pragma once
// The service's source in the Application event log.
#include <string>

#include "tools/velksetup/restart_policy.h"

namespace velk::setup {

// Registers the source "VelkVPNService" with the message table in
// `serviceProgram` (the installed VelkVPNService.exe) and the information,
// warning and error types; the values are read back.
SetupResult RegisterServiceEventSource(const std::wstring& serviceProgram);

// Removes the source; one that is not registered is no failure.
SetupResult UnregisterServiceEventSource();

}  // namespace velk::setup
