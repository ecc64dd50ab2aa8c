#pragma once
// A scripted machine for the control logic: recorded tool output goes in per
// command line, and every command, sleep, log line and host lookup comes out
// in one ordered trace. Its clock moves only by its own sleeps and by a set
// cost per command, so timing is exact and a slow machine costs no real time.
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "netsteer/control/control_system.h"

namespace netsteer::testing {

class FakeControlSystem : public ControlSystem {
  public:
    explicit FakeControlSystem(std::wstring statePath) : statePath_(std::move(statePath)) {}

    // The outputs that the next runs of `command` print, in order; the last
    // one keeps being printed. An unscripted command prints nothing.
    void Script(const std::wstring& command, std::vector<std::wstring> outputs) {
        scripts_[command] = std::deque<std::wstring>(outputs.begin(), outputs.end());
    }

    // `command` cannot be run: the command interpreter does not start.
    void CannotRun(const std::wstring& command) { notRun_.insert(command); }

    // What ResolveServerHost gives for `host`; unlisted hosts do not resolve.
    void Resolve(const std::wstring& host, const std::wstring& address) { hosts_[host] = address; }

    // False: the resolver cannot be started (Winsock), whatever the host.
    bool resolverStarts = true;
    // What each command costs on the clock, as a listing on a slow machine.
    std::uint32_t commandCostMs = 0;
    // A frozen clock never reaches a deadline.
    bool clockFrozen = false;
    std::uint64_t clockMs = 1000000;

    velk::Win32Result<std::wstring> RunCommand(const std::wstring& command) override {
        Advance(commandCostMs);
        commands.push_back(command);
        trace.push_back(L"run: " + command);
        if (notRun_.count(command) != 0) {
            return velk::Win32Error{L"CreateProcessW", 2};
        }
        auto it = scripts_.find(command);
        if (it == scripts_.end() || it->second.empty()) {
            return std::wstring();
        }
        std::wstring output = it->second.front();
        if (it->second.size() > 1) {
            it->second.pop_front();
        }
        return output;
    }

    void Sleep(std::uint32_t milliseconds) override {
        Advance(milliseconds);
        sleeps.push_back(milliseconds);
        trace.push_back(L"sleep: " + std::to_wstring(milliseconds));
    }

    void Log(const std::wstring& message) override {
        logs.push_back(message);
        trace.push_back(L"log: " + message);
    }

    velk::Win32Result<std::wstring> ResolveServerHost(const std::wstring& host) override {
        trace.push_back(L"resolve: " + host);
        if (!resolverStarts) {
            return velk::Win32Error{L"WSAStartup", 10091};  // WSASYSNOTREADY
        }
        auto it = hosts_.find(host);
        return it == hosts_.end() ? std::wstring() : it->second;
    }

    std::uint64_t MonotonicMs() override { return clockMs; }

    std::wstring StateFilePath() override { return statePath_; }

    void ClearRecords() {
        commands.clear();
        sleeps.clear();
        logs.clear();
        trace.clear();
    }

    std::vector<std::wstring> commands;
    std::vector<std::uint32_t> sleeps;
    std::vector<std::wstring> logs;
    std::vector<std::wstring> trace;

  private:
    void Advance(std::uint32_t milliseconds) {
        if (!clockFrozen) {
            clockMs += milliseconds;
        }
    }

    std::wstring statePath_;
    std::map<std::wstring, std::deque<std::wstring>> scripts_;
    std::map<std::wstring, std::wstring> hosts_;
    std::set<std::wstring> notRun_;
};

}  // namespace netsteer::testing
