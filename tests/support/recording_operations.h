#pragma once
// A CommandOperations that answers with fixed results and records every call
// with its arguments as one line of text: the dispatcher's tests and its
// fuzz harness share it. It keeps the core session with the service's own
// ledger, so whose the session is and what its logs show follow the same
// rules as in the service; asking who holds the session changes nothing and
// is not recorded.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/wide_text.h"
#include "service/supervision/command_operations.h"
#include "service/supervision/core_session.h"
#include "service/supervision/file_tail.h"

namespace velk::test_support {

// What the fake answers; every case starts from these values.
struct FakeResults {
    XrayStatus status{true, 259};
    CoreStartOutcome start = CoreStarted();
    // Outcomes for particular configuration paths, instead of `start`.
    std::map<std::wstring, CoreStartOutcome> startsByPath;
    // What a core started with the path writes to the runtime log and to the
    // error log, when one runs.
    std::map<std::wstring, std::wstring> outputByPath;
    std::map<std::wstring, std::wstring> errorLogByPath;
    OpResult stop{true, 0};
    OpResult helper{true, 0};
    std::wstring moduleDirectory = L"D:\\svc\\";
    // The whole text of each of the core's logs.
    std::map<CoreLog, std::wstring> tails;
};

inline const wchar_t* CoreLogName(CoreLog log) {
    return log == CoreLog::kRuntime ? L"runtime" : L"error";
}

class RecordingOperations : public CommandOperations {
  public:
    explicit RecordingOperations(FakeResults results) : results_(std::move(results)) {}

    XrayStatus QueryXrayStatus() override {
        calls.push_back(L"QueryXrayStatus");
        return results_.status;
    }
    CoreSessionHolder CoreSession() override {
        const CoreSessionFacts* session = ledger_.Current();
        return {session ? session->owner : std::wstring(), coreHeld_};
    }
    CoreStartOutcome StartXray(const std::wstring& configPath, const CallerReadAccess&,
                               const std::wstring& owner) override {
        calls.push_back(L"StartXray|" + configPath);
        const auto scripted = results_.startsByPath.find(configPath);
        const CoreStartOutcome outcome =
            scripted == results_.startsByPath.end() ? results_.start : scripted->second;
        // As the service: an outcome other than "already running" means the
        // core held before (if any) had ended and is let go.
        if (outcome.kind != CoreStartKind::kAlreadyRunning) {
            coreHeld_ = outcome.kind == CoreStartKind::kStarted;
        }
        CoreLogMarks marks;
        marks.runtimeEnd = static_cast<std::int64_t>(results_.tails[CoreLog::kRuntime].size());
        marks.errorEnd = static_cast<std::int64_t>(results_.tails[CoreLog::kError].size());
        ledger_.Settle(outcome, owner, marks);
        if (RanCore(outcome)) {
            results_.tails[CoreLog::kRuntime] += results_.outputByPath[configPath];
            results_.tails[CoreLog::kError] += results_.errorLogByPath[configPath];
        }
        return outcome;
    }
    OpResult StopXray() override {
        calls.push_back(L"StopXray");
        coreHeld_ = false;
        return results_.stop;
    }
    OpResult RunHelperProcess(const std::wstring& programPath, const std::wstring& arguments,
                              std::uint32_t timeoutMs) override {
        calls.push_back(L"RunHelperProcess|" + programPath + L"|" + arguments + L"|" +
                        ToDecimal(timeoutMs));
        return results_.helper;
    }
    std::wstring ReadCoreLogTail(CoreLog log, std::int64_t maxBytes) override {
        calls.push_back(std::wstring(L"ReadCoreLogTail|") + CoreLogName(log) + L"|" +
                        std::to_wstring(maxBytes));
        const auto found = results_.tails.find(log);
        if (found == results_.tails.end()) {
            return std::wstring();
        }
        const std::wstring& text = found->second;
        const std::int64_t start =
            TailStartOffset(static_cast<std::int64_t>(text.size()), maxBytes, ledger_.Mark(log));
        return text.substr(static_cast<std::size_t>(start));
    }
    std::wstring GetModuleDirectory() override {
        calls.push_back(L"GetModuleDirectory");
        return results_.moduleDirectory;
    }

    // For sequences of requests: what the fake answers from now on (a core
    // that ends by itself, say).
    FakeResults& Results() { return results_; }

    std::vector<std::wstring> calls;

  private:
    FakeResults results_;
    CoreSessionLedger ledger_;
    bool coreHeld_ = false;
};

}  // namespace velk::test_support
