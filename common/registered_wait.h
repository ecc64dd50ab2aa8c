#pragma once
// A wait registered with the system's thread pool: `callback(context, ...)`
// runs on a pool thread once `object` is signalled (once only).
#include <windows.h>

#include "common/unique_resource.h"
#include "common/win32_result.h"

namespace velk {

// Unregistered when the owner goes, after a callback under way has finished,
// so that the context may go right after it.
inline void UnregisterWaitAfterCallback(HANDLE wait) {
    UnregisterWaitEx(wait, INVALID_HANDLE_VALUE);
}
using UniqueRegisteredWait = UniqueNullEmpty<HANDLE, &UnregisterWaitAfterCallback>;

inline Win32Result<UniqueRegisteredWait> RegisterWaitOnce(HANDLE object,
                                                          WAITORTIMERCALLBACK callback,
                                                          void* context) {
    UniqueRegisteredWait wait;
    if (!RegisterWaitForSingleObject(wait.Put(), object, callback, context, INFINITE,
                                     WT_EXECUTEONLYONCE)) {
        return LastError(L"RegisterWaitForSingleObject");
    }
    return wait;
}

}  // namespace velk
