#pragma once
// Owners of what the service manager and the registry hand out: a service
// manager or service handle, a registry key, a registered event source.
#include <windows.h>

#include "common/unique_resource.h"

namespace velk {

using UniqueScHandle = UniqueNullEmpty<SC_HANDLE, &CloseServiceHandle>;
using UniqueRegKey = UniqueNullEmpty<HKEY, &RegCloseKey>;
using UniqueEventSource = UniqueNullEmpty<HANDLE, &DeregisterEventSource>;

}  // namespace velk
