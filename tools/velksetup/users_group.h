#pragma once
// The local group "VelkVPN Users", whose members may use the service.
#include <string>

#include "tools/velksetup/restart_policy.h"

namespace velk::setup {

// Creates the group (with its description) unless it exists, and adds
// `member` (a SID such as "S-1-5-21-...", or an account name) to it; with an
// empty `member`, the user this program runs as. LocalSystem is never added:
// it needs no membership. Being there already is no failure. The group's
// SID, found as an alias of this machine's account domain, is recorded as
// kUsersGroupSidValue under HKLM\kSettingsKey (SYSTEM and Administrators
// only), where the service looks first; when it cannot be found or written
// the detail says so and the step still succeeds (the service then finds
// the group by its qualified name).
SetupResult AddUsersGroup(const std::wstring& member);

// Deletes the group and its recorded SID (and the settings key once empty);
// a group that is not there is no failure.
SetupResult RemoveUsersGroup();

}  // namespace velk::setup
