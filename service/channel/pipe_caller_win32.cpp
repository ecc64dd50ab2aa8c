#include "service/channel/pipe_caller.h"

#include <cstdlib>

#include "service/channel/caller_tokens.h"
#include "service/service_constants.h"

namespace velk {

const CallerIdentity& PipeCaller::Identity() {
    if (!identity_) {
        identity_ = IdentifyPipeClient(pipe_, kUsersGroupName);
    }
    return *identity_;
}

Win32Status PipeCaller::RunAsCaller(const std::function<void()>& work) {
    if (!ImpersonateNamedPipeClient(pipe_)) {
        return LastError(L"ImpersonateNamedPipeClient");
    }
    // Reverts even when `work` throws: nothing more may run as the client.
    struct Revert {
        ~Revert() {
            if (!RevertToSelf()) {
                // A thread that cannot be itself again must not serve anyone.
                std::abort();
            }
        }
    } revert;
    work();
    return Done{};
}

}  // namespace velk
