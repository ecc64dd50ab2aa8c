#include "tools/velksetup/restart_policy.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "common/service_handles.h"
#include "tools/velksetup/setup_constants.h"

namespace velk::setup {
namespace {

using velk::UniqueRegKey;
using velk::UniqueScHandle;

SetupResult Failed(const wchar_t* step, DWORD code) {
    return SetupResult{false, code, std::wstring(step) + L" failed"};
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

// The failure actions as read back; ERROR_INVALID_LEVEL when the service
// manager does not answer for them.
DWORD ReadBack(SC_HANDLE service, bool& holds) {
    DWORD needed = 0;
    QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed);
    const DWORD sizeError = GetLastError();
    if (sizeError != ERROR_INSUFFICIENT_BUFFER) {
        return sizeError;
    }
    std::vector<BYTE> buffer(needed);
    if (!QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer.data(), needed,
                              &needed)) {
        return GetLastError();
    }
    holds = HoldsWantedActions(*reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(buffer.data()));
    return ERROR_SUCCESS;
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

DWORD StoreInServiceKey(const std::wstring& serviceName, const std::vector<SC_ACTION>& actions) {
    HKEY opened = nullptr;
    const std::wstring keyPath = std::wstring(kServicesKey) + serviceName;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_SET_VALUE, &opened);
    if (status != ERROR_SUCCESS) {
        return static_cast<DWORD>(status);
    }
    UniqueRegKey key(opened);
    const std::vector<BYTE> bytes = StoredForm(actions);
    status = RegSetValueExW(key.get(), kFailureActionsValue, 0, REG_BINARY, bytes.data(),
                            static_cast<DWORD>(bytes.size()));
    return static_cast<DWORD>(status);
}

}  // namespace

SetupResult ApplyRestartOnFailure(const std::wstring& serviceName) {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        return Failed(L"OpenSCManagerW", GetLastError());
    }
    // SERVICE_START: a restart action may only be set by someone who may
    // start the service.
    UniqueScHandle service(
        OpenServiceW(manager.get(), serviceName.c_str(),
                     SERVICE_CHANGE_CONFIG | SERVICE_QUERY_CONFIG | SERVICE_START));
    if (!service) {
        return Failed(L"OpenServiceW", GetLastError());
    }
    std::vector<SC_ACTION> actions = WantedActions();
    SERVICE_FAILURE_ACTIONSW settings{};
    settings.dwResetPeriod = kFailureCountResetSeconds;
    settings.cActions = static_cast<DWORD>(actions.size());
    settings.lpsaActions = actions.data();
    if (!ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &settings)) {
        return Failed(L"ChangeServiceConfig2W", GetLastError());
    }
    bool holds = false;
    const DWORD readError = ReadBack(service.get(), holds);
    if (readError == ERROR_SUCCESS) {
        return holds ? SetupResult{true, 0, L"restart on failure set"}
                     : SetupResult{false, ERROR_INVALID_DATA,
                                   L"the service manager kept other failure actions"};
    }
    if (readError != ERROR_INVALID_LEVEL) {
        return Failed(L"QueryServiceConfig2W", readError);
    }
    // Wine's service manager accepts failure actions without keeping them
    // and does not answer for them (seen here). They are then written where
    // Windows' service manager keeps them, so the service's key holds them.
    const DWORD storeError = StoreInServiceKey(serviceName, actions);
    if (storeError != ERROR_SUCCESS) {
        return Failed(L"RegSetValueExW", storeError);
    }
    return SetupResult{true, 0, L"restart on failure written to the service's key"};
}

}  // namespace velk::setup
