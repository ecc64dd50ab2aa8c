#pragma once
// A crowd of hostile clients of a pipe: each connects, writes "status" at
// once, never reads the answer, holds the connection until the server lets
// it go, and connects again at once, for as long as the crowd lives. Used by
// the tests and the pipe benchmark.
#include <windows.h>

#include <atomic>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_handle.h"

namespace velk::test_support {

class TalkativeCrowd {
  public:
    TalkativeCrowd(std::wstring pipeName, int clients) : name_(std::move(pipeName)) {
        for (int i = 0; i < clients; ++i) {
            members_.push_back(std::async(std::launch::async, [this] { Loop(); }));
        }
    }
    ~TalkativeCrowd() { Disperse(); }
    TalkativeCrowd(const TalkativeCrowd&) = delete;
    TalkativeCrowd& operator=(const TalkativeCrowd&) = delete;

    // Requests written so far, and how many of their connections the server
    // ended with the answer untaken.
    int Requests() const { return requests_.load(); }
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
        const wchar_t request[] = L"status";
        while (!done_) {
            UniqueHandle pipe(CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
            if (!pipe) {
                WaitNamedPipeW(name_.c_str(), 100);
                continue;
            }
            DWORD written = 0;
            if (!WriteFile(pipe.Get(), request, sizeof(request) - sizeof(wchar_t), &written,
                           nullptr)) {
                continue;
            }
            ++requests_;
            // The answer, once written, waits in the pipe unread; the
            // connection ends only when the server lets it go.
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
    std::atomic<int> requests_{0};
    std::atomic<int> letGo_{0};
    std::vector<std::future<void>> members_;
};

}  // namespace velk::test_support
