#pragma once
// The client side of the pipe protocol for tests: open the pipe (waiting while
// it is busy or between instances), write one request message, and read the
// answer up to the NUL code unit that ends it.
#include <windows.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_handle.h"
#include "service/channel/client/pipe_framing.h"
#include "service/channel/client/pipe_client.h"
#include "service/service_constants.h"

namespace velk::test_support {

// Polls `condition` every `pollMs` until it holds or `hangGuard` has passed
// (only a guard against a hang; no test measures time). True when it holds.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds hangGuard, DWORD pollMs) {
    const auto until = std::chrono::steady_clock::now() + hangGuard;
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) {
            return true;
        }
        Sleep(pollMs);
    }
    return condition();
}

struct PipeAnswer {
    std::vector<std::string> messages;  // as received, one entry per message
    std::string bytes;                  // all of them joined
    bool complete = false;              // ended by a NUL code unit
    std::wstring Line() const { return DecodeResponse(bytes).line; }
};

// The client end of the pipe, or no handle when it did not open.
inline UniqueHandle OpenedClient(const std::wstring& name, DWORD flags = kPipeClientOpenFlags) {
    Win32Result<UniqueHandle> pipe = OpenPipeAsClient(name, flags);
    return pipe ? std::move(pipe.value()) : UniqueHandle();
}

// Opens the pipe in message read mode; no handle when it did not open within
// `hangGuard`.
inline UniqueHandle ConnectPipe(const std::wstring& name, std::chrono::milliseconds hangGuard) {
    const auto until = std::chrono::steady_clock::now() + hangGuard;
    while (std::chrono::steady_clock::now() < until) {
        Win32Result<UniqueHandle> pipe = OpenPipeAsClient(name);
        if (pipe) {
            DWORD mode = PIPE_READMODE_MESSAGE;
            SetNamedPipeHandleState(pipe.value().Get(), &mode, nullptr, nullptr);
            return std::move(pipe.value());
        }
        if (pipe.error().code == ERROR_PIPE_BUSY) {
            WaitNamedPipeW(name.c_str(), 1000);
        } else {
            Sleep(10);
        }
    }
    return {};
}

// True while the server still holds the connection of `client`; never blocks.
inline bool StillConnected(HANDLE client) {
    DWORD available = 0;
    return PeekNamedPipe(client, nullptr, 0, nullptr, &available, nullptr) != FALSE;
}

inline bool WriteMessage(HANDLE pipe, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Reads with a buffer of `chunk` bytes until the NUL code unit that ends a
// response, or until the pipe fails (the server closed it without answering).
inline PipeAnswer ReadAnswer(HANDLE pipe, DWORD chunk = kPipeBufferBytes) {
    PipeAnswer answer;
    std::string message;
    std::vector<char> buffer(chunk);
    for (;;) {
        DWORD got = 0;
        const BOOL ok = ReadFile(pipe, buffer.data(), chunk, &got, nullptr);
        const DWORD error = ok ? 0 : GetLastError();
        message.append(buffer.data(), got);
        answer.bytes.append(buffer.data(), got);
        if (ok) {
            answer.messages.push_back(message);
            message.clear();
        } else if (error != ERROR_MORE_DATA) {
            return answer;
        }
        if (DecodeResponse(answer.bytes).found) {
            answer.complete = true;
            return answer;
        }
    }
}

// One request on a connection of its own; an empty answer when the pipe did
// not open or the request could not be written.
inline PipeAnswer Exchange(const std::wstring& name, const std::string& request,
                           std::chrono::milliseconds hangGuard) {
    UniqueHandle pipe = ConnectPipe(name, hangGuard);
    if (!pipe || !WriteMessage(pipe.Get(), request)) {
        return {};
    }
    return ReadAnswer(pipe.Get());
}

// Waits until the server behind `name` holds `count` instances (the count a
// client's handle reports), so that a test does not race the server's start.
inline bool AllInstancesUp(const std::wstring& name, DWORD count, std::chrono::milliseconds limit) {
    return Eventually(
        [&] {
            UniqueHandle pipe = ConnectPipe(name, limit);
            DWORD instances = 0;
            return pipe &&
                   GetNamedPipeHandleStateW(pipe.Get(), nullptr, &instances, nullptr, nullptr,
                                            nullptr, 0) &&
                   instances == count;
        },
        limit, 20);
}

}  // namespace velk::test_support
