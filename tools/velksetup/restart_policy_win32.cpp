#include "tools/velksetup/restart_policy.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "common/service_handles.h"
#include "common/win32_result.h"
#include "tools/velksetup/setup_constants.h"

namespace velk::setup {
namespace {

using velk::Done;
using velk::LastError;
using velk::UniqueRegKey;
using velk::UniqueScHandle;
using velk::Win32Error;
using velk::Win32Result;
using velk::Win32Status;

// Reported with its code beside it, so the text names the call alone.
SetupResult Failed(const Win32Error& error) {
    return SetupResult{false, error.code, std::wstring(error.call) + L" failed"};
}

std::vector<SC_ACTION> WantedActions() {
    return std::vector<SC_ACTION>(kRestartAttempts, SC_ACTION{SC_ACTION_RESTART, kRestartDelayMs});
}

bool HoldsWantedActions(const SERVICE_FAILURE_ACTIONSW& actions) {
    if (actions.dwResetPeriod != kFailureCountResetSeconds ||
        actions.cActions != kRestartAttempts || actions.lpsaActions == nullptr) {
        return false;
    }
    for (DWORD i = 0; i < actions.cActions; ++i) {
        if (actions.lpsaActions[i].Type != SC_ACTION_RESTART ||
            actions.lpsaActions[i].Delay != kRestartDelayMs) {
            return false;
        }
    }
    return true;
}

// Whether the failure actions read back are the wanted ones; the failed
// call has ERROR_INVALID_LEVEL when the service manager does not answer for
// them.
Win32Result<bool> ReadBack(SC_HANDLE service) {
    DWORD needed = 0;
    QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed);
    const Win32Error sizing = LastError(L"QueryServiceConfig2W");
    if (sizing.code != ERROR_INSUFFICIENT_BUFFER) {
        return sizing;
    }
    std::vector<BYTE> buffer(needed);
    if (!QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(), needed,
                              &needed)) {
        return LastError(L"QueryServiceConfig2W");
    }
    return HoldsWantedActions(*reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(buffer.data()));
}

// The form in which Windows' service manager keeps failure actions in the
// service's key: five 32-bit fields (reset period, reboot message, command,
// action count, actions; the pointers as 0 or the actions' offset), then
// each action's type and delay.
std::vector<BYTE> StoredForm(const std::vector<SC_ACTION>& actions) {
    const DWORD header[] = {kFailureCountResetSeconds, 0, 0, static_cast<DWORD>(actions.size()),
                            static_cast<DWORD>(sizeof(DWORD) * 5)};
    std::vector<BYTE> bytes(sizeof(header) + actions.size() * 2 * sizeof(DWORD));
    std::memcpy(bytes.data(), header, sizeof(header));
    std::size_t at = sizeof(header);
    for (const SC_ACTION& action : actions) {
        const DWORD fields[] = {static_cast<DWORD>(action.Type), action.Delay};
        std::memcpy(bytes.data() + at, fields, sizeof(fields));
        at += sizeof(fields);
    }
    return bytes;
}

Win32Status StoreInServiceKey(const std::wstring& serviceName,
                              const std::vector<SC_ACTION>& actions) {
    HKEY opened = nullptr;
    const std::wstring keyPath = std::wstring(kServicesKey) + serviceName;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_SET_VALUE, &opened);
    if (status != ERROR_SUCCESS) {
        return Win32Error{L"RegOpenKeyExW", static_cast<std::uint32_t>(status)};
    }
    UniqueRegKey key(opened);
    const std::vector<BYTE> bytes = StoredForm(actions);
    status = RegSetValueExW(key.Get(), kFailureActionsValue, 0, REG_BINARY, bytes.data(),
                            static_cast<DWORD>(bytes.size()));
    if (status != ERROR_SUCCESS) {
        return Win32Error{L"RegSetValueExW", static_cast<std::uint32_t>(status)};
    }
    return Done{};
}

}  // namespace

SetupResult ApplyRestartOnFailure(const std::wstring& serviceName) {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        return Failed(LastError(L"OpenSCManagerW"));
    }
    // SERVICE_START: a restart action may only be set by someone who may
    // start the service.
    UniqueScHandle service(
        OpenServiceW(manager.Get(), serviceName.c_str(),
                     SERVICE_CHANGE_CONFIG | SERVICE_QUERY_CONFIG | SERVICE_START));
    if (!service) {
        return Failed(LastError(L"OpenServiceW"));
    }
    std::vector<SC_ACTION> actions = WantedActions();
    SERVICE_FAILURE_ACTIONSW settings{};
    settings.dwResetPeriod = kFailureCountResetSeconds;
    settings.cActions = static_cast<DWORD>(actions.size());
    settings.lpsaActions = actions.data();
    if (!ChangeServiceConfig2W(service.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, &settings)) {
        return Failed(LastError(L"ChangeServiceConfig2W"));
    }
    const Win32Result<bool> holds = ReadBack(service.Get());
    if (holds) {
        return holds.value() ? SetupResult{true, 0, L"restart on failure set"}
                             : SetupResult{false, ERROR_INVALID_DATA,
                                           L"the service manager kept other failure actions"};
    }
    if (holds.error().code != ERROR_INVALID_LEVEL) {
        return Failed(holds.error());
    }
    // Wine's service manager accepts failure actions without keeping them
    // and does not answer for them (seen here). They are then written where
    // Windows' service manager keeps them, so the service's key holds them.
    const Win32Status stored = StoreInServiceKey(serviceName, actions);
    if (!stored) {
        return Failed(stored.error());
    }
    return SetupResult{true, 0, L"restart on failure written to the service's key"};
}

}  // namespace velk::setup
