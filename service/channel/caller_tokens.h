#pragma once
// Reading who a pipe client is from its tokens.
#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/unique_handle.h"
#include "common/win32_result.h"
#include "service/channel/caller_access.h"

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

// The local group whose members are trusted, as one request sees it: its SID
// is looked up, and its current member list read, at most once however many
// tokens ask.
class TrustedGroup {
  public:
    explicit TrustedGroup(std::wstring name) : name_(std::move(name)) {}

    // Whether `checks` (a token for CheckTokenMembership) holds the group
    // enabled, or the group's current member list names `user` (a token
    // carries a new group only from the next sign-in). No group: false.
    bool Includes(HANDLE checks, PSID user);

  private:
    std::wstring name_;
    std::optional<std::vector<BYTE>> sid_;  // empty when there is no such group
    bool sidLooked_ = false;
    std::optional<std::vector<std::vector<BYTE>>> members_;
};

// What `token` says of its user: LocalSystem, an enabled (elevated) member of
// Administrators, a member of `group`. Anything that cannot be asked leaves
// `read` false.
TokenFacts ReadTokenFacts(HANDLE token, TrustedGroup& group);

// "DOMAIN\name" of a user SID in text form, or the text itself.
std::wstring AccountNameOf(const std::wstring& userSid);

// The caller of `pipe`'s current request, learnt from both its tokens.
CallerIdentity IdentifyPipeClient(HANDLE pipe, const std::wstring& groupName);

}  // namespace velk
