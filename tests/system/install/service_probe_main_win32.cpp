// service_probe SERVICE: prints what the service manager holds for a service,
// one "key=value" line each, for the install scenario to compare:
//   state, binary, type, start, account, display, description, running (the
//   image of the service's process), recovery (reset period and actions).
// Exit code 0, or 1 when the service is not installed (state=missing).
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "common/service_handles.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "tests/support/running_under_wine.h"

namespace {

using velk::UniqueRegKey;
using velk::UniqueScHandle;

void Line(const std::wstring& key, const std::wstring& value) {
    const std::string bytes = velk::WideToUtf8(key + L"=" + value + L"\n");
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

std::wstring Number(DWORD value) {
    return velk::ToDecimal(value);
}

template <typename Query>
std::vector<BYTE> Buffer(Query query) {
    DWORD needed = 0;
    query(nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !query(buffer.data(), needed, &needed)) {
        buffer.clear();
    }
    return buffer;
}

std::wstring StartType(DWORD type) {
    switch (type) {
        case SERVICE_AUTO_START:
            return L"auto";
        case SERVICE_DEMAND_START:
            return L"demand";
        case SERVICE_DISABLED:
            return L"disabled";
        default:
            return Number(type);
    }
}

std::wstring ActionText(DWORD type, DWORD delay) {
    const wchar_t* names[] = {L"none", L"restart", L"reboot", L"command"};
    return (type < 4 ? std::wstring(names[type]) : Number(type)) + L"/" + Number(delay);
}

// "reset <s> actions <type>/<ms> ..."; empty when there are none.
std::wstring RecoveryText(DWORD reset, const std::vector<std::pair<DWORD, DWORD>>& actions) {
    std::wstring text = L"reset " + Number(reset) + L" actions";
    for (const auto& action : actions) {
        text += L" " + ActionText(action.first, action.second);
    }
    return text;
}

// Wine's service manager does not answer for failure actions; there they are
// read from the service's key, in the form Windows keeps them: five 32-bit
// fields (reset period, reboot message, command, count, actions), then a
// type and a delay per action.
std::wstring RecoveryFromServiceKey(const std::wstring& name) {
    HKEY opened = nullptr;
    const std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\" + name;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS) {
        return L"unreadable";
    }
    UniqueRegKey key(opened);
    DWORD fields[5 + 2 * 16] = {};
    DWORD size = sizeof(fields);
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), L"FailureActions", nullptr, &type,
                         reinterpret_cast<BYTE*>(fields), &size) != ERROR_SUCCESS ||
        type != REG_BINARY || size < 5 * sizeof(DWORD) || fields[3] > 16 ||
        size != (5 + 2 * fields[3]) * sizeof(DWORD)) {
        return L"none";
    }
    std::vector<std::pair<DWORD, DWORD>> actions;
    for (DWORD i = 0; i < fields[3]; ++i) {
        actions.emplace_back(fields[5 + 2 * i], fields[6 + 2 * i]);
    }
    return RecoveryText(fields[0], actions) + L" (service key)";
}

std::wstring Recovery(SC_HANDLE service, const std::wstring& name) {
    const std::vector<BYTE> buffer = Buffer([&](BYTE* data, DWORD size, DWORD* needed) {
        return QueryServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, data, size, needed);
    });
    if (buffer.empty()) {
        const DWORD error = GetLastError();
        if (error == ERROR_INVALID_LEVEL && velk::test_support::RunningUnderWine()) {
            return RecoveryFromServiceKey(name);
        }
        return L"error " + Number(error);
    }
    const auto* failure = reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(buffer.data());
    std::vector<std::pair<DWORD, DWORD>> actions;
    for (DWORD i = 0; i < failure->cActions; ++i) {
        actions.emplace_back(static_cast<DWORD>(failure->lpsaActions[i].Type),
                             failure->lpsaActions[i].Delay);
    }
    return RecoveryText(failure->dwResetPeriod, actions);
}

std::wstring RunningImage(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof(status), &needed) ||
        status.dwProcessId == 0) {
        return L"";
    }
    velk::UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, status.dwProcessId));
    wchar_t image[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (!process || !QueryFullProcessImageNameW(process.Get(), 0, image, &length)) {
        return L"";
    }
    return std::wstring(image, length);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: service_probe SERVICE\n", stderr);
        return 2;
    }
    const std::wstring name = argv[1];
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueScHandle service(manager ? OpenServiceW(manager.Get(), name.c_str(),
                                                  SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS)
                                   : nullptr);
    if (!service) {
        Line(L"state", L"missing");
        return 1;
    }
    SERVICE_STATUS status{};
    QueryServiceStatus(service.Get(), &status);
    const wchar_t* states[] = {L"?",       L"STOPPED",          L"START_PENDING", L"STOP_PENDING",
                               L"RUNNING", L"CONTINUE_PENDING", L"PAUSE_PENDING", L"PAUSED"};
    Line(L"state", status.dwCurrentState < 8 ? states[status.dwCurrentState] : L"?");

    const std::vector<BYTE> config = Buffer([&](BYTE* data, DWORD size, DWORD* needed) {
        return QueryServiceConfigW(service.Get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(data),
                                   size, needed);
    });
    if (!config.empty()) {
        const auto* c = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(config.data());
        Line(L"binary", c->lpBinaryPathName);
        Line(L"type", c->dwServiceType == SERVICE_WIN32_OWN_PROCESS ? L"own-process"
                                                                    : Number(c->dwServiceType));
        Line(L"start", StartType(c->dwStartType));
        Line(L"account", c->lpServiceStartName != nullptr ? c->lpServiceStartName : L"");
        Line(L"display", c->lpDisplayName != nullptr ? c->lpDisplayName : L"");
    }
    const std::vector<BYTE> description = Buffer([&](BYTE* data, DWORD size, DWORD* needed) {
        return QueryServiceConfig2W(service.Get(), SERVICE_CONFIG_DESCRIPTION, data, size, needed);
    });
    if (!description.empty()) {
        const auto* d = reinterpret_cast<const SERVICE_DESCRIPTIONW*>(description.data());
        Line(L"description", d->lpDescription != nullptr ? d->lpDescription : L"");
    }
    Line(L"running", RunningImage(service.Get()));
    Line(L"recovery", Recovery(service.Get(), name));
    return 0;
}
