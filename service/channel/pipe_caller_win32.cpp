#include "service/channel/pipe_caller.h"

#include "common/file_read_check.h"
#include "service/channel/caller_tokens.h"
#include "service/service_constants.h"

namespace velk {

const CallerIdentity& PipeCaller::Identity() {
    if (!identity_) {
        identity_ = IdentifyPipeClient(pipe_, kUsersGroupName);
    }
    return *identity_;
}

Win32Status PipeCaller::MayRead(void* file) {
    const Win32Result<UniqueHandle> token = ClientImpersonationToken(pipe_);
    if (!token) {
        return token.error();
    }
    return TokenMayReadFile(token.value().Get(), static_cast<HANDLE>(file));
}

}  // namespace velk
