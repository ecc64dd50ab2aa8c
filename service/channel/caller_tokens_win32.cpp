#include "service/channel/caller_tokens.h"

#include <lm.h>
#include <sddl.h>

#include <cstdlib>
#include <vector>

#include "common/local_memory.h"
#include "common/net_api_buffer.h"

namespace velk {
namespace {

Win32Result<std::vector<BYTE>> TokenUserOf(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) {
        return LastError(L"GetTokenInformation");
    }
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        return LastError(L"GetTokenInformation");
    }
    return buffer;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(buffer);
    return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}

// CheckTokenMembership asks for an impersonation token; a primary (process)
// token has to be duplicated into one, and an identification-level copy of
// either kind is all it needs.
Win32Result<UniqueHandle> ForMembershipChecks(HANDLE token) {
    UniqueHandle duplicate;
    if (!DuplicateToken(token, SecurityIdentification, duplicate.Put())) {
        return LastError(L"DuplicateToken");
    }
    return duplicate;
}

// Whether the token holds `sid` enabled (not for deny only). Unknown counts as no.
bool HoldsEnabled(HANDLE token, PSID sid) {
    BOOL member = FALSE;
    return CheckTokenMembership(token, sid, &member) && member;
}

}  // namespace

Win32Result<UniqueHandle> ClientImpersonationToken(HANDLE pipe) {
    if (!ImpersonateNamedPipeClient(pipe)) {
        return LastError(L"ImpersonateNamedPipeClient");
    }
    UniqueHandle token;
    const BOOL opened =
        OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_DUPLICATE, TRUE, token.Put());
    const DWORD openError = GetLastError();
    if (!RevertToSelf()) {
        // A thread that cannot be itself again must not serve anyone.
        std::abort();
    }
    if (!opened) {
        return Win32Error{L"OpenThreadToken", openError};
    }
    return token;
}

Win32Result<ClientProcess> ClientProcessToken(HANDLE pipe) {
    ClientProcess client;
    ULONG processId = 0;
    if (!GetNamedPipeClientProcessId(pipe, &processId)) {
        return LastError(L"GetNamedPipeClientProcessId");
    }
    client.processId = processId;
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return LastError(L"OpenProcess");
    }
    if (!OpenProcessToken(process.Get(), TOKEN_QUERY | TOKEN_DUPLICATE, client.token.Put())) {
        return LastError(L"OpenProcessToken");
    }
    return client;
}

bool TrustedGroup::Includes(HANDLE checks, PSID user) {
    if (!group_) {
        return false;
    }
    if (!sid_) {
        sid_.emplace();
        PSID sid = nullptr;
        if (ConvertStringSidToSidW(group_->sid.c_str(), &sid)) {
            const UniqueLocal<void> owned(sid);
            const auto* bytes = static_cast<const BYTE*>(sid);
            sid_->assign(bytes, bytes + GetLengthSid(sid));
        }
    }
    if (sid_->empty()) {
        return false;
    }
    if (HoldsEnabled(checks, sid_->data())) {
        return true;
    }
    // The member list as it is now, read at the request: membership given
    // after the user signed in counts at once.
    if (!members_) {
        members_.emplace();
        LOCALGROUP_MEMBERS_INFO_0* members = nullptr;
        DWORD read = 0;
        DWORD total = 0;
        const NET_API_STATUS status = NetLocalGroupGetMembers(
            nullptr, group_->name.c_str(), 0, reinterpret_cast<BYTE**>(&members),
            MAX_PREFERRED_LENGTH, &read, &total, nullptr);
        const UniqueNetApiBuffer<LOCALGROUP_MEMBERS_INFO_0> owned(members);
        for (DWORD i = 0; status == NERR_Success && members != nullptr && i < read; ++i) {
            const PSID member = members[i].lgrmi0_sid;
            if (member != nullptr && IsValidSid(member)) {
                const auto* bytes = static_cast<const BYTE*>(member);
                members_->emplace_back(bytes, bytes + GetLengthSid(member));
            }
        }
    }
    for (std::vector<BYTE>& member : *members_) {
        if (EqualSid(member.data(), user)) {
            return true;
        }
    }
    return false;
}

TokenFacts ReadTokenFacts(HANDLE token, TrustedGroup& group) {
    TokenFacts facts;
    Win32Result<std::vector<BYTE>> user = TokenUserOf(token);
    Win32Result<UniqueHandle> checks = ForMembershipChecks(token);
    if (!user || !checks) {
        return facts;
    }
    PSID userSid = reinterpret_cast<TOKEN_USER*>(user.value().data())->User.Sid;
    facts.userSid = SidText(userSid);
    facts.read = !facts.userSid.empty();
    // The user SID itself, never a group: LocalSystem is who the token is.
    facts.localSystem = IsWellKnown(userSid, WinLocalSystemSid);
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(administrators);
    facts.elevatedAdministrator =
        CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
        HoldsEnabled(checks.value().Get(), administrators);
    facts.groupMember = group.Includes(checks.value().Get(), userSid);
    return facts;
}

std::wstring AccountNameOf(const std::wstring& userSid) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(userSid.c_str(), &sid)) {
        return userSid;
    }
    const UniqueLocal<void> owned(sid);
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        return userSid;
    }
    return domainSize == 0 ? std::wstring(name) : std::wstring(domain) + L"\\" + name;
}

CallerIdentity IdentifyPipeClient(HANDLE pipe, std::optional<LocalGroup> trusted) {
    // Both tokens first, so that nothing is done while the thread acts as the client.
    const Win32Result<UniqueHandle> requestToken = ClientImpersonationToken(pipe);
    const Win32Result<ClientProcess> process = ClientProcessToken(pipe);
    TrustedGroup group(std::move(trusted));
    const TokenFacts impersonation =
        requestToken ? ReadTokenFacts(requestToken.value().Get(), group) : TokenFacts{};
    const TokenFacts processFacts =
        process ? ReadTokenFacts(process.value().token.Get(), group) : TokenFacts{};
    const std::uint32_t processId = process ? process.value().processId : 0;
    const std::wstring& sid = impersonation.read ? impersonation.userSid : processFacts.userSid;
    return IdentityOf(impersonation, processFacts, processId,
                      sid.empty() ? std::wstring() : AccountNameOf(sid));
}

}  // namespace velk
