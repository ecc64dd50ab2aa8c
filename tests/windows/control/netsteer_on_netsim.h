#pragma once
// The built netsteer.exe against the network simulator's programs, put in
// the system folder's tool places: a fresh simulated machine per run.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/system_folders.h"
#include "netsteer/netsteer_constants.h"
#include "tests/support/win_files.h"
#include "tests/windows/control/netsteer_run.h"
#include "tools/netsim/netsim_program.h"
#include "tools/netsim/netsim_render.h"

namespace netsteer::testing {

inline constexpr wchar_t kServer[] = L"203.0.113.7";

inline std::wstring Variable(const wchar_t* name) {
    std::vector<wchar_t> buffer(32768);
    const DWORD length =
        GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), length < buffer.size() ? length : 0);
}

// netsteer starts "route", "netsh" and "powershell" from the system folder:
// the simulator's programs take their place there for the test, and what was
// there comes back after it. Wine's own netsh and powershell win over a
// program of that name in the system folder unless the prefix's registry
// says otherwise (an override set in this process's environment does not
// reach its children: seen here), so the test sets it there for its run.
class NetsteerOnTheSimulator : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const wchar_t* name : kVariables) {
            saved_.push_back(Variable(name));
        }
        netsimDir_ = velk::test_support::WindowsPath(VELK_NETSIM_BIN_DIR);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        machinePath_ = std::wstring(temp) + L"netsteer-netsim-" +
                       std::to_wstring(GetCurrentProcessId()) + L".txt";
        for (const wchar_t* tool : kTools) {
            const std::wstring target = SystemTool(tool);
            MoveFileExW(target.c_str(), (target + kSavedSuffix).c_str(), MOVEFILE_REPLACE_EXISTING);
            const std::wstring name = target.substr(target.find_last_of(L'\\'));
            ASSERT_TRUE(CopyFileW((netsimDir_ + name).c_str(), target.c_str(), FALSE))
                << GetLastError();
        }
        for (const wchar_t* program : kOverridden) {
            RegSetKeyValueW(HKEY_CURRENT_USER, kOverrideKey, program, REG_SZ, L"native",
                            sizeof(L"native"));
        }
        SetEnvironmentVariableW(L"VELK_NETSIM_STATE", machinePath_.c_str());
    }

    void TearDown() override {
        for (std::size_t i = 0; i < saved_.size(); ++i) {
            SetEnvironmentVariableW(kVariables[i], saved_[i].empty() ? nullptr : saved_[i].c_str());
        }
        for (const wchar_t* program : kOverridden) {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kOverrideKey, program);
        }
        for (const wchar_t* tool : kTools) {
            const std::wstring target = SystemTool(tool);
            DeleteFileW(target.c_str());
            MoveFileExW((target + kSavedSuffix).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
        DeleteFileW(machinePath_.c_str());
        DeleteFileW(kStateFilePath);
    }

    static std::wstring SystemTool(const wchar_t* relativePath) {
        const std::wstring system = velk::SystemDirectory().value();
        CreateDirectoryW((system + L"\\WindowsPowerShell").c_str(), nullptr);
        CreateDirectoryW((system + L"\\WindowsPowerShell\\v1.0").c_str(), nullptr);
        return system + L"\\" + relativePath;
    }

    // "start" and "stop" take the server; "start DNS" the DNS servers after it.
    static std::wstring StepArguments(const std::wstring& step) {
        const std::size_t blank = step.find(L' ');
        return blank == std::wstring::npos
                   ? step + L" " + kServer
                   : step.substr(0, blank) + L" " + kServer + step.substr(blank);
    }

    // Runs each step from a fresh home machine and no state file: "start",
    // "start DNS" and "stop" run netsteer (each must give 0), anything else
    // is a netsim command.
    void RunSteps(const std::vector<std::wstring>& steps) {
        DeleteFileW(kStateFilePath);
        ASSERT_EQ(RunAndWait(L"\"" + netsimDir_ + L"\\netsim.exe\" reset home"), 0);
        for (const std::wstring& step : steps) {
            const bool netsteer = step.rfind(L"start", 0) == 0 || step.rfind(L"stop", 0) == 0;
            const long code = netsteer ? RunNetsteer(StepArguments(step))
                                       : RunAndWait(L"\"" + netsimDir_ + L"\\netsim.exe\" " + step);
            ASSERT_EQ(code, 0) << std::string(step.begin(), step.end());
        }
    }

    netsim::Machine Machine() {
        netsim::Machine machine;
        std::wstring error;
        EXPECT_TRUE(netsim::LoadMachine(machinePath_, machine, error));
        return machine;
    }

    std::wstring RouteTable() { return netsim::RenderRoutePrint(Machine()); }

    static constexpr const wchar_t* kVariables[] = {L"VELK_NETSIM_STATE"};
    static constexpr wchar_t kOverrideKey[] = L"Software\\Wine\\DllOverrides";
    static constexpr const wchar_t* kOverridden[] = {L"netsh.exe", L"powershell.exe"};
    static constexpr const wchar_t* kTools[] = {L"route.exe", L"netsh.exe",
                                                L"WindowsPowerShell\\v1.0\\powershell.exe"};
    static constexpr wchar_t kSavedSuffix[] = L".velk-saved";
    std::vector<std::wstring> saved_;
    std::wstring netsimDir_;
    std::wstring machinePath_;
};

}  // namespace netsteer::testing
