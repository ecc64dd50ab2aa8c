#include "tools/velkctl/velkctl_client.h"

#include <utility>
#include <vector>

#include "common/service_handles.h"
#include "common/unique_handle.h"
#include "common/win32_result.h"
#include "common/wide_text.h"
#include "service/channel/client/pipe_framing.h"
#include "service/channel/client/pipe_client.h"
#include "service/service_constants.h"

namespace velk::velkctl {
namespace {

// While the service starts (or remakes its instances after a fault) the name
// is absent; while every instance is taken, a free one is waited for with
// WaitNamedPipeW. Both until `waitMs` has passed.
Win32Result<UniqueHandle> OpenPipe(const std::wstring& name, std::uint32_t waitMs,
                                   DWORD openFlags) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        Win32Result<UniqueHandle> pipe = OpenPipeAsClient(name, openFlags);
        if (pipe) {
            return pipe;
        }
        const DWORD lastError = pipe.error().code;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline ||
            (lastError != ERROR_PIPE_BUSY && lastError != ERROR_FILE_NOT_FOUND)) {
            return pipe;
        }
        const DWORD remaining = static_cast<DWORD>(deadline - now);
        if (lastError == ERROR_PIPE_BUSY) {
            WaitNamedPipeW(name.c_str(), remaining < 1000 ? remaining : 1000);
        } else {
            Sleep(remaining < 50 ? remaining : 50);
        }
    }
}

std::wstring ErrorText(const std::wstring& what, const Win32Error& error) {
    return what + L" (" + FailureText(error) + L")";
}

}  // namespace

std::optional<DWORD> ServiceProcessId() {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        return std::nullopt;
    }
    UniqueScHandle service(OpenServiceW(manager.Get(), kServiceName, SERVICE_QUERY_STATUS));
    if (!service) {
        return std::nullopt;
    }
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(&status), sizeof(status), &needed) ||
        status.dwCurrentState == SERVICE_STOPPED || status.dwProcessId == 0) {
        return std::nullopt;
    }
    return status.dwProcessId;
}

namespace {

// Opens the pipe and makes sure the service serves it; the open pipe, or no
// handle with `result.error` set.
UniqueHandle ConnectToService(const ClientSettings& settings, std::uint32_t waitMs,
                              ClientResult& result) {
    // Read and write like any client, at identification level for every
    // request, so that a process squatting the name cannot act as the user
    // running velkctl (the service decides what the user may read without
    // acting as them).
    const DWORD openFlags = kPipeClientOpenFlags;
    Win32Result<UniqueHandle> opened = OpenPipe(settings.pipeName, waitMs, openFlags);
    if (!opened) {
        const Win32Error error = opened.error();
        if (error.code == ERROR_PIPE_BUSY) {
            result.error = L"the service's pipe stayed busy; try again or raise --wait";
        } else if (error.code == ERROR_FILE_NOT_FOUND) {
            result.error = L"the service's pipe does not exist; is VelkVPNService running?";
        } else {
            result.error = ErrorText(L"cannot open the service's pipe", error);
        }
        return UniqueHandle();
    }
    UniqueHandle pipe = std::move(opened.value());

    // Talk only to the service itself: anyone could have created a pipe of
    // this name while the service was not running.
    ULONG serverPid = 0;
    if (!GetNamedPipeServerProcessId(pipe.Get(), &serverPid)) {
        result.error = ErrorText(L"cannot tell which process serves the pipe",
                                 LastError(L"GetNamedPipeServerProcessId"));
        return UniqueHandle();
    }
    const std::optional<DWORD> expected =
        settings.expectedServer ? settings.expectedServer() : std::nullopt;
    if (!expected) {
        result.error = L"refused: VelkVPNService is not running, but process " +
                       ToDecimal(serverPid) + L" serves its pipe";
        return UniqueHandle();
    }
    if (*expected != serverPid) {
        result.error = L"refused: the pipe is served by process " + ToDecimal(serverPid) +
                       L", not by VelkVPNService (process " + ToDecimal(*expected) + L")";
        return UniqueHandle();
    }
    return pipe;
}

// The service lets a connection go that has not written for a moment while
// every instance is taken (a crowd of silent clients); nothing was sent then,
// so trying again is safe.
bool LetGoBeforeTheRequest(DWORD error) {
    return error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED ||
           error == ERROR_BROKEN_PIPE;
}

}  // namespace

ClientResult SendRequest(const ClientSettings& settings, const std::wstring& request) {
    ClientResult result;
    const ULONGLONG deadline = GetTickCount64() + settings.waitMs;
    const std::string bytes = EncodeRequest(request);
    UniqueHandle pipe;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        pipe = ConnectToService(
            settings, now < deadline ? static_cast<std::uint32_t>(deadline - now) : 0, result);
        if (!pipe) {
            return result;
        }
        DWORD mode = PIPE_READMODE_MESSAGE;
        SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr);
        DWORD written = 0;
        if (WriteFile(pipe.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                      nullptr) &&
            written == bytes.size()) {
            break;
        }
        const Win32Error error = LastError(L"WriteFile");
        if (!LetGoBeforeTheRequest(error.code) || GetTickCount64() >= deadline) {
            result.error = ErrorText(L"cannot send the request", error);
            return result;
        }
    }
    std::string received;
    std::vector<char> chunk(kPipeBufferBytes);
    for (;;) {
        DWORD got = 0;
        const BOOL ok =
            ReadFile(pipe.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr);
        const DWORD readError = ok ? 0 : GetLastError();
        received.append(chunk.data(), got);
        const DecodedResponse response = DecodeResponse(received);
        if (response.found) {
            result.answered = true;
            result.line = response.line;
            return result;
        }
        if (!ok && readError != ERROR_MORE_DATA) {
            result.error = L"the service closed the connection without an answer";
            return result;
        }
    }
}

}  // namespace velk::velkctl
