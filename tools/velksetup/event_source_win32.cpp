#include "tools/velksetup/event_source.h"

#include <windows.h>

#include <vector>

#include "common/service_handles.h"
#include "service/service_constants.h"
#include "tools/velksetup/setup_constants.h"

namespace velk::setup {
namespace {

SetupResult RegFailed(const wchar_t* call, LSTATUS status) {
    return SetupResult{false, static_cast<std::uint32_t>(status), std::wstring(call) + L" failed"};
}

std::wstring SourceKey() {
    return std::wstring(kEventSourcesKey) + kServiceName;
}

}  // namespace

SetupResult RegisterServiceEventSource(const std::wstring& serviceProgram) {
    HKEY opened = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, SourceKey().c_str(), 0, nullptr, 0,
                                     KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &opened, nullptr);
    if (status != ERROR_SUCCESS) {
        return RegFailed(L"RegCreateKeyExW", status);
    }
    const velk::UniqueRegKey key(opened);
    const auto pathBytes = static_cast<DWORD>((serviceProgram.size() + 1) * sizeof(wchar_t));
    status = RegSetValueExW(key.Get(), L"EventMessageFile", 0, REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(serviceProgram.c_str()), pathBytes);
    if (status != ERROR_SUCCESS) {
        return RegFailed(L"RegSetValueExW", status);
    }
    const DWORD types = kEventTypesSupported;
    status = RegSetValueExW(key.Get(), L"TypesSupported", 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&types), sizeof(types));
    if (status != ERROR_SUCCESS) {
        return RegFailed(L"RegSetValueExW", status);
    }
    // Read back: the event viewer finds the messages only through this value.
    std::vector<wchar_t> stored(serviceProgram.size() + 2, L'\0');
    DWORD size = static_cast<DWORD>(stored.size() * sizeof(wchar_t));
    status = RegGetValueW(key.Get(), nullptr, L"EventMessageFile",
                          RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, stored.data(), &size);
    if (status != ERROR_SUCCESS) {
        return RegFailed(L"RegGetValueW", status);
    }
    if (serviceProgram != stored.data()) {
        return SetupResult{false, ERROR_INVALID_DATA, L"the event source reads back otherwise"};
    }
    return SetupResult{true, 0, L"event source registered for " + serviceProgram};
}

SetupResult UnregisterServiceEventSource() {
    const LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, SourceKey().c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        return RegFailed(L"RegDeleteKeyW", status);
    }
    return SetupResult{true, 0, L"event source removed"};
}

}  // namespace velk::setup
