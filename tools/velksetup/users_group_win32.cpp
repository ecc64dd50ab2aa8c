#include "tools/velksetup/users_group.h"

#include <windows.h>
#include <lm.h>
#include <sddl.h>

#include <vector>

#include "common/local_memory.h"
#include "common/unique_handle.h"
#include "service/service_constants.h"

namespace velk::setup {
namespace {

SetupResult NetFailed(const wchar_t* call, NET_API_STATUS status) {
    return SetupResult{false, status, std::wstring(call) + L" failed"};
}

// The SID of `member`, of the user of this process when empty.
bool MemberSid(const std::wstring& member, std::vector<BYTE>& sid, SetupResult& failure) {
    if (member.empty()) {
        velk::UniqueHandle token;
        DWORD size = 0;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()) ||
            (GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size), size == 0)) {
            failure = SetupResult{false, GetLastError(), L"reading this process's user failed"};
            return false;
        }
        std::vector<BYTE> user(size);
        if (!GetTokenInformation(token.Get(), TokenUser, user.data(), size, &size)) {
            failure = SetupResult{false, GetLastError(), L"GetTokenInformation failed"};
            return false;
        }
        const PSID userSid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
        sid.assign(static_cast<BYTE*>(userSid),
                   static_cast<BYTE*>(userSid) + GetLengthSid(userSid));
        return true;
    }
    PSID converted = nullptr;
    if (ConvertStringSidToSidW(member.c_str(), &converted)) {
        const UniqueLocal<void> owned(converted);
        sid.assign(static_cast<BYTE*>(converted),
                   static_cast<BYTE*>(converted) + GetLengthSid(converted));
        return true;
    }
    DWORD sidSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use = SidTypeUnknown;
    LookupAccountNameW(nullptr, member.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
    sid.resize(sidSize);
    std::vector<wchar_t> domain(domainSize + 1);
    if (sidSize == 0 || !LookupAccountNameW(nullptr, member.c_str(), sid.data(), &sidSize,
                                            domain.data(), &domainSize, &use)) {
        failure = SetupResult{false, GetLastError(), L"LookupAccountNameW failed for " + member};
        return false;
    }
    return true;
}

bool IsLocalSystem(std::vector<BYTE>& sid) {
    BYTE system[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(system);
    return CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size) &&
           EqualSid(sid.data(), system);
}

}  // namespace

SetupResult AddUsersGroup(const std::wstring& member) {
    LOCALGROUP_INFO_1 group{};
    group.lgrpi1_name = const_cast<LPWSTR>(kUsersGroupName);
    group.lgrpi1_comment = const_cast<LPWSTR>(kUsersGroupComment);
    DWORD badField = 0;
    const NET_API_STATUS made =
        NetLocalGroupAdd(nullptr, 1, reinterpret_cast<BYTE*>(&group), &badField);
    if (made != NERR_Success && made != NERR_GroupExists && made != ERROR_ALIAS_EXISTS) {
        return NetFailed(L"NetLocalGroupAdd", made);
    }
    std::vector<BYTE> sid;
    SetupResult failure;
    if (!MemberSid(member, sid, failure)) {
        return failure;
    }
    std::wstring detail = std::wstring(L"group \"") + kUsersGroupName + L"\" is there";
    if (IsLocalSystem(sid)) {
        return SetupResult{true, 0, detail + L" (LocalSystem needs no membership)"};
    }
    LOCALGROUP_MEMBERS_INFO_0 entry{};
    entry.lgrmi0_sid = sid.data();
    const NET_API_STATUS added =
        NetLocalGroupAddMembers(nullptr, kUsersGroupName, 0, reinterpret_cast<BYTE*>(&entry), 1);
    if (added != NERR_Success && added != ERROR_MEMBER_IN_ALIAS) {
        return NetFailed(L"NetLocalGroupAddMembers", added);
    }
    return SetupResult{true, 0, detail + L" and holds " + (member.empty() ? L"this user" : member)};
}

SetupResult RemoveUsersGroup() {
    const NET_API_STATUS status = NetLocalGroupDel(nullptr, kUsersGroupName);
    if (status != NERR_Success && status != NERR_GroupNotFound && status != ERROR_NO_SUCH_ALIAS) {
        return NetFailed(L"NetLocalGroupDel", status);
    }
    return SetupResult{true, 0, std::wstring(L"group \"") + kUsersGroupName + L"\" removed"};
}

}  // namespace velk::setup
