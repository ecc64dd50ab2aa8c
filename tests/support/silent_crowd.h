#pragma once
// A crowd of hostile clients of a pipe: each connects, says nothing, holds
// the connection until the server lets it go, and connects again at once,
// for as long as the crowd lives. Used by the tests and the pipe benchmark.
#include <windows.h>

#include <atomic>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_handle.h"

namespace velk::test_support {

class SilentCrowd {
  public:
    SilentCrowd(std::wstring pipeName, int clients) : name_(std::move(pipeName)) {
        for (int i = 0; i < clients; ++i) {
            members_.push_back(std::async(std::launch::async, [this] { Loop(); }));
        }
    }
    ~SilentCrowd() { Disperse(); }
    SilentCrowd(const SilentCrowd&) = delete;
    SilentCrowd& operator=(const SilentCrowd&) = delete;

    // Connections made so far, and how many of them the server ended.
    int Connections() const { return connections_.load(); }
    int LetGo() const { return letGo_.load(); }

    void Disperse() {
        done_ = true;
        for (auto& member : members_) {
            if (member.valid()) {
                member.get();
            }
        }
    }

  private:
    // How often a member looks whether the server has let it go.
    static constexpr DWORD kPollMs = 5;

    void Loop() {
        while (!done_) {
            UniqueHandle pipe(CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
            if (!pipe) {
                WaitNamedPipeW(name_.c_str(), 100);
                continue;
            }
            ++connections_;
            DWORD available = 0;
            while (!done_) {
                if (!PeekNamedPipe(pipe.Get(), nullptr, 0, nullptr, &available, nullptr)) {
                    ++letGo_;
                    break;
                }
                Sleep(kPollMs);
            }
        }
    }

    std::wstring name_;
    std::atomic<bool> done_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> letGo_{0};
    std::vector<std::future<void>> members_;
};

}  // namespace velk::test_support
