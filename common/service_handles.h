#pragma once
// Owners of a service manager handle and of a registry key, closed with their
// own calls when the owner goes.
#include <windows.h>

#include <memory>
#include <type_traits>

namespace velk {

struct ScHandleClose {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using UniqueScHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ScHandleClose>;

struct RegKeyClose {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueRegKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegKeyClose>;

}  // namespace velk
