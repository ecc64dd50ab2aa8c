#include "service/channel/pipe_caller.h"

#include <cstdlib>

namespace velk {

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
