#include "service/policy/trusted_group.h"

namespace velk {
namespace {

// A relative id: a 32-bit number in decimal.
bool IsRelativeId(const std::wstring& text) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    std::uint64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    return value <= 0xFFFFFFFFu;
}

}  // namespace

bool InAccountDomain(const std::wstring& sid, const std::wstring& domainSid) {
    if (domainSid.empty() || sid.size() <= domainSid.size() + 1 ||
        sid.compare(0, domainSid.size(), domainSid) != 0 || sid[domainSid.size()] != L'-') {
        return false;
    }
    return IsRelativeId(sid.substr(domainSid.size() + 1));
}

bool IsLocalAlias(const AccountLookup& account, const AccountDomain& domain) {
    return account.use == AccountUse::kAlias && InAccountDomain(account.sid, domain.sid);
}

std::optional<LocalGroup> ResolveLocalGroup(const std::wstring& name, LocalGroupSource& source) {
    const std::optional<AccountDomain> domain = source.MachineAccountDomain();
    if (!domain || domain->name.empty() || domain->sid.empty()) {
        return std::nullopt;
    }
    const std::optional<std::wstring> stored = source.StoredGroupSid();
    if (stored && InAccountDomain(*stored, domain->sid)) {
        const std::optional<AccountLookup> found = source.LookupSid(*stored);
        // Found under another name is still the group the installer made
        // (renamed); a SID that no longer resolves is a deleted group.
        if (found && found->sid == *stored && IsLocalAlias(*found, *domain)) {
            return LocalGroup{found->sid, found->name};
        }
    }
    const std::optional<AccountLookup> named = source.LookupName(domain->name + L"\\" + name);
    if (named && IsLocalAlias(*named, *domain)) {
        return LocalGroup{named->sid, name};
    }
    return std::nullopt;
}

std::optional<LocalGroup> LocalGroupCache::Get(const std::wstring& name, LocalGroupSource& source,
                                               std::uint64_t nowMs) {
    const bool fresh =
        filled_ && name == name_ && nowMs >= resolvedAtMs_ && nowMs - resolvedAtMs_ < lifetimeMs_;
    if (!fresh) {
        group_ = ResolveLocalGroup(name, source);
        name_ = name;
        resolvedAtMs_ = nowMs;
        filled_ = true;
    }
    return group_;
}

}  // namespace velk
