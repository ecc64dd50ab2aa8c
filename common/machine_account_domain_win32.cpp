#include "common/machine_account_domain.h"

// After windows.h, which it needs.
#include <sddl.h>

#include "common/local_memory.h"
#include "common/lsa_handles.h"

namespace velk {

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
    UniqueLsaHandle policy;
    if (LsaOpenPolicy(nullptr, &attributes, POLICY_VIEW_LOCAL_INFORMATION, policy.Put()) != 0) {
        return std::nullopt;
    }
    void* buffer = nullptr;
    if (LsaQueryInformationPolicy(policy.Get(), PolicyAccountDomainInformation, &buffer) != 0) {
        return std::nullopt;
    }
    const UniqueLsaMemory<POLICY_ACCOUNT_DOMAIN_INFO> owned(
        static_cast<POLICY_ACCOUNT_DOMAIN_INFO*>(buffer));
    const POLICY_ACCOUNT_DOMAIN_INFO* info = owned.Get();
    MachineAccountDomain domain;
    if (info->DomainName.Buffer != nullptr) {
        domain.name.assign(info->DomainName.Buffer, info->DomainName.Length / sizeof(wchar_t));
    }
    domain.sid = SidText(info->DomainSid);
    return domain;
}

}  // namespace velk
