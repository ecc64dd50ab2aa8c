#include "service/channel/caller_tokens.h"

#include <ntsecapi.h>
#include <sddl.h>

#include <memory>
#include <mutex>
#include <vector>

#include "common/local_memory.h"
#include "common/machine_account_domain.h"
#include "service/service_constants.h"

namespace velk {
namespace {

// The SID `text` names, in the canonical form ConvertSidToStringSidW gives;
// empty when it is no SID.
std::wstring CanonicalSidText(const std::wstring& text) {
    PSID sid = nullptr;
    // Wine converts "" to S-1-0-0.
    if (text.empty() || !ConvertStringSidToSidW(text.c_str(), &sid)) {
        return std::wstring();
    }
    const UniqueLocal<void> owned(sid);
    return SidText(sid);
}

AccountUse UseOf(SID_NAME_USE use) {
    switch (use) {
        case SidTypeUser:
            return AccountUse::kUser;
        case SidTypeGroup:
            return AccountUse::kGroup;
        case SidTypeDomain:
            return AccountUse::kDomain;
        case SidTypeAlias:
            return AccountUse::kAlias;
        case SidTypeWellKnownGroup:
            return AccountUse::kWellKnownGroup;
        default:
            return AccountUse::kOther;
    }
}

}  // namespace

std::optional<AccountDomain> MachineLocalGroupSource::MachineAccountDomain() {
    const std::optional<velk::MachineAccountDomain> domain = QueryMachineAccountDomain();
    if (!domain) {
        return std::nullopt;
    }
    return AccountDomain{domain->name, domain->sid};
}

std::optional<std::wstring> MachineLocalGroupSource::StoredGroupSid() {
    // A SID's text is at most 184 characters; anything longer is no SID.
    // Only the plain string the installers write: nothing is expanded.
    wchar_t text[256];
    DWORD size = sizeof(text);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, storedSidKey_.c_str(), kUsersGroupSidValue,
                     RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, text, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring canonical = CanonicalSidText(text);
    if (canonical.empty()) {
        return std::nullopt;
    }
    return canonical;
}

std::optional<AccountLookup> MachineLocalGroupSource::LookupSid(const std::wstring& sidText) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(sidText.c_str(), &sid)) {
        return std::nullopt;
    }
    const UniqueLocal<void> owned(sid);
    DWORD nameSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use = SidTypeUnknown;
    LookupAccountSidW(nullptr, sid, nullptr, &nameSize, nullptr, &domainSize, &use);
    if (nameSize == 0) {
        return std::nullopt;
    }
    std::vector<wchar_t> name(nameSize + 1);
    std::vector<wchar_t> domain(domainSize + 1);
    if (!LookupAccountSidW(nullptr, sid, name.data(), &nameSize, domain.data(), &domainSize,
                           &use)) {
        return std::nullopt;
    }
    return AccountLookup{SidText(sid), UseOf(use), std::wstring(name.data(), nameSize)};
}

std::optional<AccountLookup> MachineLocalGroupSource::LookupName(
    const std::wstring& qualifiedName) {
    DWORD sidSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use = SidTypeUnknown;
    LookupAccountNameW(nullptr, qualifiedName.c_str(), nullptr, &sidSize, nullptr, &domainSize,
                       &use);
    if (sidSize == 0) {
        return std::nullopt;
    }
    std::vector<BYTE> sid(sidSize);
    std::vector<wchar_t> domain(domainSize + 1);
    if (!LookupAccountNameW(nullptr, qualifiedName.c_str(), sid.data(), &sidSize, domain.data(),
                            &domainSize, &use)) {
        return std::nullopt;
    }
    const std::size_t slash = qualifiedName.find(L'\\');
    return AccountLookup{
        SidText(sid.data()), UseOf(use),
        slash == std::wstring::npos ? qualifiedName : qualifiedName.substr(slash + 1)};
}

std::optional<LocalGroup> LocalGroupLookup::Current() {
    std::lock_guard<std::mutex> lock(mutex_);
    MachineLocalGroupSource source(kSettingsKey);
    return cache_.Get(name_, source, GetTickCount64());
}

}  // namespace velk
