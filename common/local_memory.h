#pragma once
// Owners of memory that the system allocated for the caller, each freed with
// the call its allocator asks for: LocalFree (CommandLineToArgvW, security
// descriptors and SIDs), CoTaskMemFree (SHGetKnownFolderPath),
// FreeEnvironmentStringsW (GetEnvironmentStringsW), HeapFree on the process
// heap (what Wine's own exports give back). `T` is what the memory holds, so
// that Get() gives a T*.
#include <windows.h>
// After windows.h, which it needs.
#include <objbase.h>

#include "common/unique_resource.h"

namespace velk {

template <typename T>
using UniqueLocal = UniqueNullEmpty<T*, &LocalFree>;

template <typename T>
using UniqueCoTaskMemory = UniqueNullEmpty<T*, &CoTaskMemFree>;

using UniqueEnvironmentStrings = UniqueNullEmpty<wchar_t*, &FreeEnvironmentStringsW>;

inline void FreeOnProcessHeap(void* memory) {
    HeapFree(GetProcessHeap(), 0, memory);
}
template <typename T>
using UniqueProcessHeapMemory = UniqueNullEmpty<T*, &FreeOnProcessHeap>;

}  // namespace velk
