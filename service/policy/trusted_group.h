#pragma once
// Which group's members are trusted: the local group "VelkVPN Users" of this
// machine, never a group of another domain that bears its name. On a
// domain-joined machine a bare name resolves to the domain's group when the
// local one is missing, so the group is known by its SID: the one the
// installer recorded (kSettingsKey, which only administrators may change),
// or else the one its name resolves to qualified with the machine's own
// account domain. Either counts only as an alias of that domain.
#include <cstdint>
#include <optional>
#include <string>

namespace velk {

// What an account lookup says a SID is (SID_NAME_USE, as far as it matters).
enum class AccountUse { kUser, kGroup, kDomain, kAlias, kWellKnownGroup, kOther };

struct AccountLookup {
    std::wstring sid;  // "S-1-5-..."
    AccountUse use = AccountUse::kOther;
    std::wstring name;  // without its domain
};

// The machine's own account domain, where its local users and groups live;
// its name is the computer's.
struct AccountDomain {
    std::wstring name;
    std::wstring sid;  // "S-1-5-21-x-y-z"
};

// The trusted group as found: its SID, and its name today (its member list
// is read by name).
struct LocalGroup {
    std::wstring sid;
    std::wstring name;
};

// What ResolveLocalGroup asks the machine; each gives nothing when it cannot
// answer.
class LocalGroupSource {
  public:
    virtual ~LocalGroupSource() = default;
    virtual std::optional<AccountDomain> MachineAccountDomain() = 0;
    // The group's SID as the installer recorded it, in canonical text form.
    virtual std::optional<std::wstring> StoredGroupSid() = 0;
    virtual std::optional<AccountLookup> LookupSid(const std::wstring& sid) = 0;
    // `qualifiedName` is "DOMAIN\name".
    virtual std::optional<AccountLookup> LookupName(const std::wstring& qualifiedName) = 0;
};

// Whether `sid` is an account of the domain `domainSid`: that SID and one
// more sub-authority, the account's relative id.
bool InAccountDomain(const std::wstring& sid, const std::wstring& domainSid);

// Whether `account` is a local group (an alias) of the machine's own account
// domain: not a domain's group, a builtin or well-known group, or a user.
bool IsLocalAlias(const AccountLookup& account, const AccountDomain& domain);

// The local group `name` of this machine, or nothing when there is none or
// the machine's account domain cannot be read (then the group has no
// members). The recorded SID comes first and is looked up only when it lies
// in the machine's account domain, which the machine answers itself; then
// "<account domain>\<name>", which resolves locally where a bare name could
// go to a domain controller.
std::optional<LocalGroup> ResolveLocalGroup(const std::wstring& name, LocalGroupSource& source);

// ResolveLocalGroup's answer, missing group included, kept for `lifetimeMs`
// so that the pipe's one thread does not ask the machine at every request.
class LocalGroupCache {
  public:
    explicit LocalGroupCache(std::uint64_t lifetimeMs) : lifetimeMs_(lifetimeMs) {}

    // `nowMs` comes from a clock that never goes back. Resolves anew when
    // the answer kept is `lifetimeMs` old or was for another name.
    std::optional<LocalGroup> Get(const std::wstring& name, LocalGroupSource& source,
                                  std::uint64_t nowMs);

  private:
    std::uint64_t lifetimeMs_;
    bool filled_ = false;
    std::wstring name_;
    std::uint64_t resolvedAtMs_ = 0;
    std::optional<LocalGroup> group_;
};

}  // namespace velk
