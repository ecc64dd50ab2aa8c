#include "service/channel/pipe_instance_maker.h"

#include <sddl.h>

#include <utility>

#include "service/channel/pipe_name_claim.h"
#include "service/channel/pipe_security.h"
#include "service/channel/pipe_server.h"

namespace velk {

// The masks in pipe_security.h are spelled out so that the portable build
// has them; here the SDK's own values keep them honest.
static_assert(kPipeFullControl == FILE_ALL_ACCESS, "kPipeFullControl");
static_assert(kFileGenericRead == FILE_GENERIC_READ, "kFileGenericRead");
static_assert(kFileGenericWrite == FILE_GENERIC_WRITE, "kFileGenericWrite");

Win32Result<MadeInstance> PipeInstanceMaker::Make(DWORD ours) {
    if (!descriptor_) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
                PipeSecurityDescriptorSddl().c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
            return LastError(L"ConvertStringSecurityDescriptorToSecurityDescriptorW");
        }
        descriptor_ = UniqueLocal<void>(descriptor);
    }
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor_.Get();
    attributes.bInheritHandle = FALSE;
    const DWORD first = ours == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0;
    UniqueHandle pipe(CreateNamedPipeW(name_.c_str(), kPipeOpenMode | first, kPipeInstanceMode,
                                       kPipeMaxInstances, kPipeOutBufferBytes, kPipeBufferBytes, 0,
                                       &attributes));
    if (!pipe) {
        return LastError(L"CreateNamedPipeW");
    }
    // An instance that finds company gives the name up (pipe_name_claim.h).
    DWORD instances = 0;
    if (!GetNamedPipeHandleStateW(pipe.Get(), nullptr, &instances, nullptr, nullptr, nullptr, 0)) {
        return LastError(L"GetNamedPipeHandleStateW");
    }
    if (std::optional<Refusal> refusal = SharedNameRefusal(instances, ours)) {
        return MadeInstance{UniqueHandle(), std::move(refusal)};
    }
    return MadeInstance{std::move(pipe), std::nullopt};
}

bool PipeInstanceMaker::NameTaken(const Win32Error& error) {
    return error.code == ERROR_ACCESS_DENIED || error.code == ERROR_PIPE_BUSY;
}

}  // namespace velk
