#pragma once
// The scenario fixture: installs VelkVPNService in Wine's service control
// manager from a fresh service directory (the service, fakecore as xray.exe,
// the stand-in netsteer.exe), starts and stops it, talks to its pipe, and
// removes it again. The test process stays alive for the whole scenario,
// because Wine ends services when the prefix's last ordinary process exits.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <system_error>
#include <memory>
#include <type_traits>
#include <string>
#include <vector>
#include <algorithm>
#include <iterator>

#include "common/service_handles.h"
#include "common/unique_handle.h"
#include "netsteer/netsteer_constants.h"
#include "service/channel/client/pipe_framing.h"
#include "service/channel/pipe_server.h"
#include "service/service_constants.h"
#include "tests/support/pipe_client.h"
#include "tests/support/win_files.h"
#include "tests/system/service/service_scenario_paths.h"

namespace velk::scenario {

using test_support::ReadFileBytes;
using test_support::WindowsPath;
using test_support::WriteFileBytes;

// Only guards against a hang; no scenario measures time.
inline constexpr DWORD kHangGuardMs = 60000;

inline bool ProcessAlive(DWORD pid) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    return process && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

// Waits up to the hang guard for `condition`.
template <typename Condition>
bool Eventually(Condition condition) {
    return test_support::Eventually(condition, std::chrono::milliseconds(kHangGuardMs), 20);
}

using Answer = test_support::PipeAnswer;
using test_support::ReadAnswer;
using test_support::WriteMessage;

// Opens the service pipe, waiting while every instance is busy or the pipe
// is not there yet.
inline UniqueHandle ConnectToService() {
    return test_support::ConnectPipe(kPipeName, std::chrono::milliseconds(kHangGuardMs));
}

inline Answer SendBytes(const std::string& bytes) {
    return test_support::Exchange(kPipeName, bytes, std::chrono::milliseconds(kHangGuardMs));
}

inline std::wstring Send(const std::wstring& request) {
    return SendBytes(EncodeRequest(request)).Line();
}

inline std::wstring ServiceExe() {
    return WindowsPath(VELK_SERVICE_EXE);
}
inline std::wstring ScenarioServiceExe() {
    return WindowsPath(VELK_SCENARIO_SERVICE_EXE);
}

class ServiceScenario : public ::testing::Test {
  protected:
    // The service program to install; the scenario build where a test needs
    // the service log or a short helper time-out.
    virtual std::wstring ServiceProgram() const { return ServiceExe(); }

    void SetUp() override {
        scm_.Reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        ASSERT_TRUE(scm_) << "OpenSCManagerW failed: " << GetLastError();
        RemoveService();
        ResetFiles();
        ASSERT_TRUE(PrepareDirectory());
        const std::wstring binaryPath =
            L"\"" + std::wstring(kServiceDirectory) + L"VelkVPNService.exe\"";
        service_.Reset(CreateServiceW(scm_.Get(), kServiceName, kServiceName, SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                      SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr, nullptr,
                                      nullptr, nullptr, nullptr));
        ASSERT_TRUE(service_) << "CreateServiceW failed: " << GetLastError();
    }

    void TearDown() override {
        service_.Reset();
        RemoveService();
    }

    SERVICE_STATUS_PROCESS Query() const {
        SERVICE_STATUS_PROCESS status{};
        DWORD needed = 0;
        QueryServiceStatusEx(service_.Get(), SC_STATUS_PROCESS_INFO,
                             reinterpret_cast<BYTE*>(&status), sizeof(status), &needed);
        return status;
    }

    bool WaitForState(DWORD state) const {
        return Eventually([&] { return Query().dwCurrentState == state; });
    }

    void StartAndWait() {
        ASSERT_TRUE(StartServiceW(service_.Get(), 0, nullptr))
            << "StartServiceW failed: " << GetLastError();
        ASSERT_TRUE(WaitForState(SERVICE_RUNNING));
        // RUNNING is reported just before the pipe exists.
        ASSERT_TRUE(Eventually([] {
            return WaitNamedPipeW(kPipeName, 0) != FALSE || GetLastError() != ERROR_FILE_NOT_FOUND;
        }));
        // ... and the pipe server makes the rest of its instances.
        ASSERT_TRUE(test_support::AllInstancesUp(kPipeName, kPipeMaxInstances,
                                                 std::chrono::milliseconds(kHangGuardMs)));
    }

    // Sends the stop control; the status the control manager answered with.
    SERVICE_STATUS SendStop() {
        SERVICE_STATUS status{};
        EXPECT_TRUE(ControlService(service_.Get(), SERVICE_CONTROL_STOP, &status))
            << "ControlService failed: " << GetLastError();
        return status;
    }

    void StopAndWait() {
        SendStop();
        ASSERT_TRUE(WaitForState(SERVICE_STOPPED));
    }

    static std::wstring ServiceLogText() {
        // The log writes one byte per code unit up to U+00FF.
        std::wstring text;
        for (const char byte : ReadFileBytes(kServiceLogPath)) {
            text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
        }
        return text;
    }

    static std::vector<std::wstring> StubCalls() {
        const std::string bytes = ReadFileBytes(kStubCallsPath);
        std::vector<std::wstring> lines;
        std::size_t start = 0;
        while (start < bytes.size()) {
            std::size_t end = bytes.find('\n', start);
            if (end == std::string::npos) {
                end = bytes.size();
            }
            lines.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                               bytes.begin() + static_cast<std::ptrdiff_t>(end));
            start = end + 1;
        }
        return lines;
    }

    UniqueScHandle scm_;
    UniqueScHandle service_;

  private:
    void RemoveService() {
        UniqueScHandle old(OpenServiceW(scm_.Get(), kServiceName, SERVICE_ALL_ACCESS));
        if (!old) {
            return;
        }
        SERVICE_STATUS status{};
        ControlService(old.Get(), SERVICE_CONTROL_STOP, &status);
        Eventually([&] {
            SERVICE_STATUS_PROCESS now{};
            DWORD needed = 0;
            return !QueryServiceStatusEx(old.Get(), SC_STATUS_PROCESS_INFO,
                                         reinterpret_cast<BYTE*>(&now), sizeof(now), &needed) ||
                   now.dwCurrentState == SERVICE_STOPPED;
        });
        DeleteService(old.Get());
    }

    static void ResetFiles() {
        // A route state file would have the service run the helper at start.
        for (const wchar_t* path : {kCoreRuntimeLogPath, kCoreErrorLogPath, kServiceLogPath,
                                    kStubCallsPath, kStubDelayPath, netsteer::kStateFilePath}) {
            DeleteFileW(path);
        }
        // With whatever the core or a start left there: the copy, its own
        // logs, files moved aside.
        std::error_code ignored;
        std::filesystem::remove_all(kDataDirectory, ignored);
        CreateDirectoryW(kStubDirectory, nullptr);
    }

    bool PrepareDirectory() const {
        CreateDirectoryW(kServiceDirectory, nullptr);
        const struct {
            std::wstring from;
            const wchar_t* name;
        } files[] = {
            {ServiceProgram(), L"VelkVPNService.exe"},
            {WindowsPath(VELK_FAKECORE_EXE), L"xray.exe"},
            {WindowsPath(VELK_STUB_HELPER_EXE), L"netsteer.exe"},
        };
        for (const auto& file : files) {
            const std::wstring to = std::wstring(kServiceDirectory) + file.name;
            // The previous service process may still be on its way out.
            if (!Eventually([&] { return CopyFileW(file.from.c_str(), to.c_str(), FALSE) != 0; })) {
                ADD_FAILURE() << "cannot copy to " << std::string(to.begin(), to.end());
                return false;
            }
        }
        return true;
    }
};

}  // namespace velk::scenario
