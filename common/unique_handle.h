#pragma once
// Owners of the kernel's handles: a HANDLE closed with CloseHandle, and a
// FindFirstFileW search, which is no kernel handle and goes with FindClose;
// for both, NULL and INVALID_HANDLE_VALUE mean "no handle" since calls give
// back either on failure. And a loaded module.
#include <windows.h>

#include "common/unique_resource.h"

namespace velk {

template <auto CloseCall>
struct HandleTraits : NullEmptyTraits<HANDLE, CloseCall> {
    static bool IsEmpty(HANDLE value) { return value == nullptr || value == INVALID_HANDLE_VALUE; }
};
using UniqueHandle = UniqueResource<HandleTraits<&CloseHandle>>;
using UniqueFindHandle = UniqueResource<HandleTraits<&FindClose>>;

using UniqueModule = UniqueNullEmpty<HMODULE, &FreeLibrary>;

// The process and thread handles that CreateProcessW gives back, owned
// together from the moment the call returns.
struct ProcessHandles {
    UniqueHandle process;
    UniqueHandle thread;
};

inline ProcessHandles TakeProcessHandles(const PROCESS_INFORMATION& info) {
    return ProcessHandles{UniqueHandle(info.hProcess), UniqueHandle(info.hThread)};
}

}  // namespace velk
