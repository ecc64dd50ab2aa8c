#pragma once
// The service's data folder, made by the installers before the service first
// starts, so that no other account can make it first.
#include "tools/velksetup/restart_policy.h"

namespace velk::setup {

// Prepares C:\ProgramData\VELK-VPN as the service does (PrepareDataFolder):
// made when missing, kept when ours, moved aside whole and made anew when
// not. Ok with what was done; not ok with the failed call's code.
SetupResult MakeDataFolder();

}  // namespace velk::setup
