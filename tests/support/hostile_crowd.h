#pragma once
// Crowds of hostile clients of a pipe, for the tests and the pipe benchmark.
// Each member connects, holds the connection until the server lets it go,
// and connects again at once, for as long as the crowd lives: a silent one
// says nothing; a talkative one writes "status" at once and never reads the
// answer.
#include <windows.h>

#include <atomic>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_handle.h"

namespace velk::test_support {

class HostileCrowd {
  public:
    HostileCrowd(const HostileCrowd&) = delete;
    HostileCrowd& operator=(const HostileCrowd&) = delete;
    ~HostileCrowd() { Disperse(); }

    // How many of the members' connections the server ended.
    int LetGo() const { return letGo_.load(); }

    void Disperse() {
        done_ = true;
        for (auto& member : members_) {
            if (member.valid()) {
                member.get();
            }
        }
    }

  protected:
    HostileCrowd(std::wstring pipeName, int clients, bool talks)
        : name_(std::move(pipeName)), talks_(talks) {
        for (int i = 0; i < clients; ++i) {
            members_.push_back(std::async(std::launch::async, [this] { Loop(); }));
        }
    }

    // Connections made (silent), or requests written (talkative), so far.
    int Visits() const { return visits_.load(); }

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
            if (talks_ && !WriteFile(pipe.Get(), request, sizeof(request) - sizeof(wchar_t),
                                     &written, nullptr)) {
                continue;
            }
            ++visits_;
            // An answer, once written, waits in the pipe unread; the
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
    bool talks_;
    std::atomic<bool> done_{false};
    std::atomic<int> visits_{0};
    std::atomic<int> letGo_{0};
    std::vector<std::future<void>> members_;
};

class SilentCrowd final : public HostileCrowd {
  public:
    SilentCrowd(std::wstring pipeName, int clients)
        : HostileCrowd(std::move(pipeName), clients, false) {}
    int Connections() const { return Visits(); }
};

class TalkativeCrowd final : public HostileCrowd {
  public:
    TalkativeCrowd(std::wstring pipeName, int clients)
        : HostileCrowd(std::move(pipeName), clients, true) {}
    int Requests() const { return Visits(); }
};

}  // namespace velk::test_support
