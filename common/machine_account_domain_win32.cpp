#include "common/machine_account_domain.h"

// After windows.h, which they need.
#include <ntsecapi.h>
#include <sddl.h>

#include <memory>

#include "common/local_memory.h"

namespace velk {
namespace {

struct LsaHandleClose {
    void operator()(LSA_HANDLE handle) const {
        if (handle != nullptr) {
            LsaClose(handle);
        }
    }
};
struct LsaMemoryFree {
    void operator()(void* memory) const {
        if (memory != nullptr) {
            LsaFreeMemory(memory);
        }
    }
};

}  // namespace

std::wstring SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) {
        return std::wstring();
    }
    const UniqueLocal<wchar_t> owned(text);
    return std::wstring(text);
}

std::optional<MachineAccountDomain> QueryMachineAccountDomain() {
    LSA_OBJECT_ATTRIBUTES attributes{};
    LSA_HANDLE opened = nullptr;
    if (LsaOpenPolicy(nullptr, &attributes, POLICY_VIEW_LOCAL_INFORMATION, &opened) != 0) {
        return std::nullopt;
    }
    const std::unique_ptr<void, LsaHandleClose> policy(opened);
    void* buffer = nullptr;
    if (LsaQueryInformationPolicy(policy.get(), PolicyAccountDomainInformation, &buffer) != 0) {
        return std::nullopt;
    }
    const std::unique_ptr<void, LsaMemoryFree> owned(buffer);
    const auto* info = static_cast<const POLICY_ACCOUNT_DOMAIN_INFO*>(buffer);
    MachineAccountDomain domain;
    if (info->DomainName.Buffer != nullptr) {
        domain.name.assign(info->DomainName.Buffer, info->DomainName.Length / sizeof(wchar_t));
    }
    domain.sid = SidText(info->DomainSid);
    return domain;
}

}  // namespace velk
