#pragma once
// A bare pipe server for one client that looks at the client's token the way
// a squatter would (ImpersonateNamedPipeClient), reports the impersonation
// level it got, and answers with one response line.
#include <windows.h>

#include <future>
#include <string>

#include "tests/support/running_under_wine.h"
#include "common/unique_handle.h"
#include "service/channel/client/pipe_framing.h"

namespace velk::test_support {

// The impersonation level the server obtained; `known` is false when it got
// no token at all.
struct ImpersonationSeen {
    bool known = false;
    SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
};

class ImpersonationProbe {
  public:
    ImpersonationProbe(std::wstring name, std::wstring responseLine)
        : name_(std::move(name)), line_(std::move(responseLine)) {
        pipe_.Reset(CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096,
                                     4096, 0, nullptr));
        if (pipe_) {
            seen_ = std::async(std::launch::async, [this] { return ServeOne(); });
        }
    }
    ~ImpersonationProbe() {
        if (seen_.valid()) {
            // Unblock a server still waiting for its client.
            UniqueHandle wake(CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
            wake.Reset();
            seen_.wait();
        }
    }
    bool Ready() const { return static_cast<bool>(pipe_); }
    const std::wstring& Name() const { return name_; }
    ImpersonationSeen Seen() { return seen_.get(); }

  private:
    ImpersonationSeen ServeOne() {
        ImpersonationSeen seen;
        if (!ConnectNamedPipe(pipe_.Get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
            return seen;
        }
        // Impersonation needs something read from the client first.
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(pipe_.Get(), buffer, sizeof(buffer), &got, nullptr)) {
            return seen;
        }
        if (ImpersonateNamedPipeClient(pipe_.Get())) {
            HANDLE token = nullptr;
            if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
                UniqueHandle owned(token);
                DWORD size = 0;
                seen.known = GetTokenInformation(token, TokenImpersonationLevel, &seen.level,
                                                 sizeof(seen.level), &size) != FALSE;
            }
            RevertToSelf();
        }
        const std::string answer = EncodeResponse(line_);
        DWORD written = 0;
        WriteFile(pipe_.Get(), answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr);
        FlushFileBuffers(pipe_.Get());
        DisconnectNamedPipe(pipe_.Get());
        return seen;
    }

    std::wstring name_;
    std::wstring line_;
    UniqueHandle pipe_;
    std::future<ImpersonationSeen> seen_;
};

}  // namespace velk::test_support
