#pragma once
// Owner of a buffer a NetApi call filled (NetLocalGroupGetMembers and its
// kin), freed with NetApiBufferFree; `T` is the entry type it holds. Links
// with netapi32.
#include <windows.h>
// After windows.h, which it needs.
#include <lm.h>

#include "common/unique_resource.h"

namespace velk {

template <typename T>
using UniqueNetApiBuffer = UniqueNullEmpty<T*, &NetApiBufferFree>;

}  // namespace velk
