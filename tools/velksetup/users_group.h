#pragma once
// The local group "VelkVPN Users", whose members may use the service.
#include <string>

#include "tools/velksetup/restart_policy.h"

namespace velk::setup {

// Creates the group (with its description) unless it exists, and adds
// `member` (a SID such as "S-1-5-21-...", or an account name) to it; with an
// empty `member`, the user this program runs as. LocalSystem is never added:
// it needs no membership. Being there already is no failure.
SetupResult AddUsersGroup(const std::wstring& member);

// Deletes the group; a group that is not there is no failure.
SetupResult RemoveUsersGroup();

}  // namespace velk::setup
