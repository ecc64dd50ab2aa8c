#pragma once
// What the fault-injection driver reads and does from outside the service:
// the simulated machine's routes and journal, the simulator's control
// program, the service in the control manager, its pipe, and the processes
// of the prefix.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <chrono>
#include <cwctype>
#include <string>
#include <vector>

#include "common/service_handles.h"
#include "common/unique_handle.h"
#include "netsteer/netsteer_constants.h"
#include "service/channel/client/pipe_framing.h"
#include "service/channel/pipe_server.h"
#include "service/service_constants.h"
#include "tests/support/pipe_client.h"
#include "tools/netsim/netsim_machine.h"
#include "tools/netsim/netsim_program.h"

namespace velk::faults {

inline constexpr wchar_t kServer[] = L"203.0.113.7";
inline constexpr wchar_t kTunnelGateway[] = L"0.0.0.0";
inline constexpr int kTunnelIndex = 45;
inline constexpr DWORD kHangGuardMs = 90000;

// The machine as the tools left it; the file is replaced whole, so a read
// that fails is only tried again.
inline netsim::Machine ReadMachine() {
    netsim::Machine machine;
    for (int attempt = 0; attempt < 50; ++attempt) {
        std::wstring error;
        netsim::Machine read;
        if (netsim::LoadMachine(netsim::StatePath(), read, error)) {
            return read;
        }
        Sleep(10);
    }
    return machine;
}

inline bool IsDefault(const netsim::Route& route) {
    return route.destination == L"0.0.0.0" && route.mask == L"0.0.0.0";
}

inline bool IsTunnelDefault(const netsim::Route& route) {
    return IsDefault(route) &&
           (route.interfaceIndex == kTunnelIndex || route.gateway == kTunnelGateway ||
            route.gateway == netsim::kOnLink);
}

// A default route through a gateway on the subnet of a connected interface.
inline bool HasWorkingDefaultRoute(const netsim::Machine& machine) {
    for (const netsim::Route& route : machine.routes) {
        if (!IsDefault(route) || IsTunnelDefault(route)) {
            continue;
        }
        for (const netsim::Interface& uplink : machine.interfaces) {
            std::uint32_t gateway = 0;
            std::uint32_t address = 0;
            std::uint32_t mask = 0;
            if (uplink.index == route.interfaceIndex && uplink.connected &&
                netsim::ParseIpv4(route.gateway, gateway) &&
                netsim::ParseIpv4(uplink.address, address) &&
                netsim::ParseIpv4(uplink.mask, mask) && (gateway & mask) == (address & mask)) {
                return true;
            }
        }
    }
    return false;
}

// The routes as destination, mask, gateway and interface, one line each. The
// metric is left out: the restored default route carries netsteer's fixed
// metric where the original had the automatic one.
inline std::vector<std::wstring> RouteLines(const netsim::Machine& machine) {
    std::vector<std::wstring> lines;
    for (const netsim::Route& route : machine.routes) {
        lines.push_back(route.destination + L" " + route.mask + L" " + route.gateway + L" if " +
                        std::to_wstring(route.interfaceIndex));
    }
    return lines;
}

inline bool IsOurRoute6(const netsim::Route6& route) {
    for (const wchar_t* half : netsteer::kTunnelIpv6Halves) {
        if (route.prefix == half && route.interfaceIndex == kTunnelIndex) {
            return true;
        }
    }
    return false;
}

inline bool IsOurNrptRule(const netsim::NrptRule& rule) {
    return rule.comment == netsteer::kNrptRuleComment;
}

// How many of netsteer's IPv6 routes and NRPT rules the machine holds.
inline int OurIpv6RoutesAndDnsRules(const netsim::Machine& machine) {
    int count = 0;
    for (const netsim::Route6& route : machine.routes6) {
        count += IsOurRoute6(route) ? 1 : 0;
    }
    for (const netsim::NrptRule& rule : machine.nrptRules) {
        count += IsOurNrptRule(rule) ? 1 : 0;
    }
    return count;
}

// Everything routing and name resolution depend on, one line each: the IPv4
// routes (RouteLines), the IPv6 routes with their store, and the NRPT rules;
// netsteer's own IPv6 routes and rules are left out when `withoutOurs`.
inline std::vector<std::wstring> NetworkLines(const netsim::Machine& machine,
                                              bool withoutOurs = false) {
    std::vector<std::wstring> lines = RouteLines(machine);
    for (const netsim::Route6& route : machine.routes6) {
        if (!withoutOurs || !IsOurRoute6(route)) {
            lines.push_back(route.prefix + L" if " + std::to_wstring(route.interfaceIndex) +
                            L" via " + route.nextHop +
                            (route.persistent ? L" persistent" : L" active"));
        }
    }
    for (const netsim::NrptRule& rule : machine.nrptRules) {
        if (!withoutOurs || !IsOurNrptRule(rule)) {
            std::wstring line = L"nrpt " + rule.nameSpace + L" comment " + rule.comment;
            for (const std::wstring& server : rule.servers) {
                line += L" " + server;
            }
            lines.push_back(line);
        }
    }
    return lines;
}

// Runs a program of the prefix with `arguments` and waits for it; its exit
// code, or -1 when it could not be started.
inline long RunProgram(const std::wstring& commandLine) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
        return -1;
    }
    ProcessHandles process = TakeProcessHandles(info);
    WaitForSingleObject(process.process.Get(), kHangGuardMs);
    DWORD code = 0;
    GetExitCodeProcess(process.process.Get(), &code);
    return static_cast<long>(code);
}

// The simulator's control program; true when it took the command.
inline bool Netsim(const std::wstring& arguments) {
    return RunProgram(L"netsim.exe " + arguments) == 0;
}

inline std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return text;
}

// Ids of the running processes whose program is `exeName`.
inline std::vector<DWORD> ProcessesNamed(const std::wstring& exeName) {
    std::vector<DWORD> ids;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return ids;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (Lower(entry.szExeFile) == Lower(exeName)) {
            ids.push_back(entry.th32ProcessID);
        }
    }
    return ids;
}

inline bool ProcessAlive(DWORD pid) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    return process && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

inline bool StateFileExists() {
    return GetFileAttributesW(netsteer::kStateFilePath) != INVALID_FILE_ATTRIBUTES;
}

inline std::wstring Send(const std::wstring& request) {
    return test_support::Exchange(kPipeName, EncodeRequest(request),
                                  std::chrono::milliseconds(kHangGuardMs))
        .Line();
}

// VelkVPNService in the control manager, installed by the script.
class Service {
  public:
    Service()
        : scm_(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)),
          service_(scm_ ? OpenServiceW(scm_.Get(), kServiceName, SERVICE_ALL_ACCESS) : nullptr) {}

    bool Opened() const { return service_.Valid(); }

    SERVICE_STATUS_PROCESS Query() const {
        SERVICE_STATUS_PROCESS status{};
        DWORD needed = 0;
        QueryServiceStatusEx(service_.Get(), SC_STATUS_PROCESS_INFO,
                             reinterpret_cast<BYTE*>(&status), sizeof(status), &needed);
        return status;
    }

    bool WaitFor(DWORD state) const {
        return test_support::Eventually([&] { return Query().dwCurrentState == state; },
                                        std::chrono::milliseconds(kHangGuardMs), 20);
    }

    // Started and serving its pipe (a saved routing is put back before). A
    // process that was killed may still be shown as RUNNING by Wine's control
    // manager (seen here), which starts a new one all the same: the new
    // process id tells them apart.
    bool Start() {
        const DWORD before = Query().dwProcessId;
        if (!StartServiceW(service_.Get(), 0, nullptr)) {
            return false;
        }
        return test_support::Eventually(
                   [&] {
                       const SERVICE_STATUS_PROCESS now = Query();
                       return now.dwCurrentState == SERVICE_RUNNING && now.dwProcessId != 0 &&
                              now.dwProcessId != before;
                   },
                   std::chrono::milliseconds(kHangGuardMs), 20) &&
               test_support::AllInstancesUp(kPipeName, kPipeMaxInstances,
                                            std::chrono::milliseconds(kHangGuardMs));
    }

    bool Stop() {
        SERVICE_STATUS status{};
        ControlService(service_.Get(), SERVICE_CONTROL_STOP, &status);
        return WaitFor(SERVICE_STOPPED);
    }

    // Ends the service process from outside, as a crash would, and waits until
    // it is gone.
    bool Kill() {
        UniqueHandle process(
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, Query().dwProcessId));
        return process && TerminateProcess(process.Get(), 1) &&
               WaitForSingleObject(process.Get(), kHangGuardMs) == WAIT_OBJECT_0;
    }

  private:
    UniqueScHandle scm_;
    UniqueScHandle service_;
};

}  // namespace velk::faults
