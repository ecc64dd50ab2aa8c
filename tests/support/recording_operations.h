#pragma once
// A CommandOperations that answers with fixed results and records every call
// with its arguments as one line of text: the dispatcher's tests and its
// fuzz harness share it.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/wide_text.h"
#include "service/supervision/command_operations.h"

namespace velk::test_support {

// What the fake answers; every case starts from these values.
struct FakeResults {
    XrayStatus status{true, 259};
    OpResult start{true, 0};
    OpResult stop{true, 0};
    OpResult helper{true, 0};
    std::wstring moduleDirectory = L"D:\\svc\\";
    std::map<std::wstring, std::wstring> tails;
};

class RecordingOperations : public CommandOperations {
  public:
    explicit RecordingOperations(FakeResults results) : results_(std::move(results)) {}

    XrayStatus QueryXrayStatus() override {
        calls.push_back(L"QueryXrayStatus");
        return results_.status;
    }
    OpResult StartXray(const std::wstring& configPath, const CallerMayRead&) override {
        calls.push_back(L"StartXray|" + configPath);
        return results_.start;
    }
    OpResult StopXray() override {
        calls.push_back(L"StopXray");
        return results_.stop;
    }
    OpResult RunHelperProcess(const std::wstring& programPath, const std::wstring& arguments,
                              std::uint32_t timeoutMs) override {
        calls.push_back(L"RunHelperProcess|" + programPath + L"|" + arguments + L"|" +
                        ToDecimal(timeoutMs));
        return results_.helper;
    }
    std::wstring ReadFileTail(const std::wstring& path, std::int64_t maxBytes) override {
        calls.push_back(L"ReadFileTail|" + path + L"|" + std::to_wstring(maxBytes));
        const auto found = results_.tails.find(path);
        return found == results_.tails.end() ? std::wstring() : found->second;
    }
    std::wstring GetModuleDirectory() override {
        calls.push_back(L"GetModuleDirectory");
        return results_.moduleDirectory;
    }

    std::vector<std::wstring> calls;

  private:
    FakeResults results_;
};

}  // namespace velk::test_support
