#pragma once
// The data folder, C:\ProgramData\VELK-VPN, as both installers make it and
// the service keeps it, at its start and before each start of the core: for
// SYSTEM and Administrators only, and never a folder someone else made.
#include <string>

#include "common/owned_directory.h"
#include "service/service_constants.h"

namespace velk {

// PrepareOwnedDirectory of the data folder at `path` with its security
// (kDataDirectorySddl) and limits (kDataFolderMaxDepth, kDataFolderMaxEntries).
Win32Result<OwnedDirectory> PrepareDataFolder(const std::wstring& path = kDataDirectory);

}  // namespace velk
