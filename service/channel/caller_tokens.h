#pragma once
// Reading who a pipe client is from its tokens.
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/machine_account_domain.h"
#include "common/unique_handle.h"
#include "common/win32_result.h"
#include "service/policy/caller_access.h"
#include "service/policy/trusted_group.h"
#include "service/service_constants.h"

namespace velk {

// The token the client sent with its request: the pipe is impersonated just
// long enough to open the thread's token, and the service is itself again
// before this returns.
Win32Result<UniqueHandle> ClientImpersonationToken(HANDLE pipe);

// The token of the client's process, and its id.
struct ClientProcess {
    UniqueHandle token;
    DWORD processId = 0;
};
Win32Result<ClientProcess> ClientProcessToken(HANDLE pipe);

// This machine as ResolveLocalGroup asks it: the LSA for the account domain,
// the value kUsersGroupSidValue of `storedSidKey` under HKEY_LOCAL_MACHINE,
// and LookupAccountSidW / LookupAccountNameW.
class MachineLocalGroupSource final : public LocalGroupSource {
  public:
    explicit MachineLocalGroupSource(std::wstring storedSidKey)
        : storedSidKey_(std::move(storedSidKey)) {}

    std::optional<AccountDomain> MachineAccountDomain() override;
    std::optional<std::wstring> StoredGroupSid() override;
    std::optional<AccountLookup> LookupSid(const std::wstring& sid) override;
    std::optional<AccountLookup> LookupName(const std::wstring& qualifiedName) override;

  private:
    std::wstring storedSidKey_;
};

// The local group `name` of this machine (the SID recorded under
// kSettingsKey first), resolved at most once per `lifetimeMs` for as long as
// this lives: the service keeps one for its requests.
class LocalGroupLookup {
  public:
    explicit LocalGroupLookup(std::wstring name, std::uint64_t lifetimeMs = kUsersGroupCacheMs)
        : name_(std::move(name)), cache_(lifetimeMs) {}

    // Nothing: no such local group.
    std::optional<LocalGroup> Current();

  private:
    std::wstring name_;
    std::mutex mutex_;
    LocalGroupCache cache_;
};

// The trusted group as one request sees it: its current member list is read
// at most once however many tokens ask.
class TrustedGroup {
  public:
    // `group` as resolved; nothing: there is no such group, it has no members.
    explicit TrustedGroup(std::optional<LocalGroup> group) : group_(std::move(group)) {}

    // Whether `checks` (a token for CheckTokenMembership) holds the group
    // enabled, or the group's current member list names `user` (a token
    // carries a new group only from the next sign-in). No group: false.
    bool Includes(HANDLE checks, PSID user);

  private:
    std::optional<LocalGroup> group_;
    std::optional<std::vector<BYTE>> sid_;  // the group's SID, once converted
    std::optional<std::vector<std::vector<BYTE>>> members_;
};

// What `token` says of its user: LocalSystem, an enabled (elevated) member of
// Administrators, a member of `group`. Anything that cannot be asked leaves
// `read` false.
TokenFacts ReadTokenFacts(HANDLE token, TrustedGroup& group);

// "DOMAIN\name" of a user SID in text form, or the text itself.
std::wstring AccountNameOf(const std::wstring& userSid);

// The caller of `pipe`'s current request, learnt from both its tokens, with
// `group` (as LocalGroupLookup found it) as the trusted one.
CallerIdentity IdentifyPipeClient(HANDLE pipe, std::optional<LocalGroup> group);

}  // namespace velk
