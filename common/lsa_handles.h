#pragma once
// Owners of what the local security authority hands out: a policy handle
// (LsaClose) and the memory its queries fill (LsaFreeMemory), where `T` is
// what the memory holds.
#include <windows.h>
// After windows.h, which it needs.
#include <ntsecapi.h>

#include "common/unique_resource.h"

namespace velk {

using UniqueLsaHandle = UniqueNullEmpty<LSA_HANDLE, &LsaClose>;

template <typename T>
using UniqueLsaMemory = UniqueNullEmpty<T*, &LsaFreeMemory>;

}  // namespace velk
