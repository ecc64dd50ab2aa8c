#include "service/channel/client/pipe_client.h"

#include "service/channel/pipe_security.h"

namespace velk {

static_assert(kPipeClientAccess == (GENERIC_READ | GENERIC_WRITE), "kPipeClientAccess");

Win32Result<UniqueHandle> OpenPipeAsClient(const std::wstring& pipeName, DWORD flagsAndAttributes) {
    UniqueHandle pipe(CreateFileW(pipeName.c_str(), kPipeClientAccess, 0, nullptr, OPEN_EXISTING,
                                  flagsAndAttributes, nullptr));
    if (!pipe) {
        return LastError(L"CreateFileW");
    }
    return pipe;
}

}  // namespace velk
