#pragma once
// Reading who a pipe client is from its tokens.
#include <windows.h>

#include <string>

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

// What `token` says of its user: LocalSystem, an enabled (elevated) member of
// Administrators, a member of `groupName` by the token or by the group's
// current member list (a token carries a new group only from the next
// sign-in). Anything that cannot be asked leaves `read` false.
TokenFacts ReadTokenFacts(HANDLE token, const std::wstring& groupName);

// "DOMAIN\name" of a user SID in text form, or the text itself.
std::wstring AccountNameOf(const std::wstring& userSid);

// The caller of `pipe`'s current request, learnt from both its tokens.
CallerIdentity IdentifyPipeClient(HANDLE pipe, const std::wstring& groupName);

}  // namespace velk
