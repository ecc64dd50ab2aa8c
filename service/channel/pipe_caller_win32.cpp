#include "service/channel/pipe_caller.h"

#include "service/channel/caller_tokens.h"

namespace velk {

const CallerIdentity& PipeCaller::Identity() {
    if (!identity_) {
        identity_ = IdentifyPipeClient(pipe_, trustedGroup_.Current());
    }
    return *identity_;
}

const CallerReadAccess& PipeCaller::ReadAccess() {
    if (!readAccess_) {
        readAccess_.emplace(ClientImpersonationToken(pipe_));
    }
    return *readAccess_;
}

}  // namespace velk
