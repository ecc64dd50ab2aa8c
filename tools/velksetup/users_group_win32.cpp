#include "tools/velksetup/users_group.h"

#include <windows.h>
#include <lm.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "common/local_memory.h"
#include "common/machine_account_domain.h"
#include "common/service_handles.h"
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

// The group's SID, found by its name qualified with this machine's account
// domain (which the machine resolves itself) and only when it is an alias of
// that domain, not a domain's group; empty otherwise.
std::wstring LocalGroupSid() {
    const std::optional<velk::MachineAccountDomain> domain = velk::QueryMachineAccountDomain();
    if (!domain || domain->sid.empty() || domain->name.empty()) {
        return std::wstring();
    }
    const std::wstring& domainSid = domain->sid;
    const std::wstring name = domain->name + L"\\" + kUsersGroupName;
    DWORD sidSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use = SidTypeUnknown;
    LookupAccountNameW(nullptr, name.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
    if (sidSize == 0) {
        return std::wstring();
    }
    std::vector<BYTE> sid(sidSize);
    std::vector<wchar_t> domainName(domainSize + 1);
    if (!LookupAccountNameW(nullptr, name.c_str(), sid.data(), &sidSize, domainName.data(),
                            &domainSize, &use) ||
        use != SidTypeAlias) {
        return std::wstring();
    }
    const std::wstring text = SidText(sid.data());
    const std::wstring prefix = domainSid + L"-";
    const bool oneBelow = text.compare(0, prefix.size(), prefix) == 0 &&
                          text.find(L'-', prefix.size()) == std::wstring::npos;
    return oneBelow ? text : std::wstring();
}

// Records `sid` as the group's under kSettingsKey, a key that only SYSTEM and
// Administrators may change (its DACL set anew even where the key was there).
LSTATUS RecordGroupSid(const std::wstring& sid) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kSettingsKeySddl, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return static_cast<LSTATUS>(GetLastError());
    }
    const velk::UniqueLocal<void> ownedDescriptor(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    HKEY opened = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0,
                                     KEY_SET_VALUE | WRITE_DAC, &attributes, &opened, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const velk::UniqueRegKey key(opened);
    status = RegSetKeySecurity(
        key.Get(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, descriptor);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return RegSetValueExW(key.Get(), kUsersGroupSidValue, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(sid.c_str()),
                          static_cast<DWORD>((sid.size() + 1) * sizeof(wchar_t)));
}

// Whatever was recorded goes; nothing recorded is no failure.
LSTATUS ForgetGroupSid() {
    const LSTATUS status =
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSettingsKey, kUsersGroupSidValue);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// The settings key goes with its last value; one that holds more stays.
void DropSettingsKeyIfEmpty() {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS) {
        return;
    }
    DWORD subkeys = 1;
    DWORD values = 1;
    {
        const velk::UniqueRegKey key(opened);
        RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr);
    }
    if (subkeys == 0 && values == 0) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSettingsKey);
    }
}

// Records the group's SID for the service, or forgets an older record when
// the group cannot be found as this machine's alias (Wine's groups resolve
// to nothing): the service then finds the group by its qualified name. What
// happened goes into the detail; it never fails the step.
std::wstring RecordedGroupSid() {
    const std::wstring sid = LocalGroupSid();
    if (sid.empty()) {
        const LSTATUS forgotten = ForgetGroupSid();
        DropSettingsKeyIfEmpty();
        return forgotten == ERROR_SUCCESS
                   ? L"; its SID was not found, so none is recorded"
                   : L"; its SID was not found, and the old record could not be removed (error " +
                         std::to_wstring(forgotten) + L")";
    }
    const LSTATUS recorded = RecordGroupSid(sid);
    return recorded == ERROR_SUCCESS ? L"; its SID " + sid + L" is recorded"
                                     : L"; its SID " + sid + L" could not be recorded (error " +
                                           std::to_wstring(recorded) + L")";
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
    const std::wstring recorded = RecordedGroupSid();
    std::wstring detail = std::wstring(L"group \"") + kUsersGroupName + L"\" is there";
    if (IsLocalSystem(sid)) {
        return SetupResult{true, 0, detail + L" (LocalSystem needs no membership)" + recorded};
    }
    LOCALGROUP_MEMBERS_INFO_0 entry{};
    entry.lgrmi0_sid = sid.data();
    const NET_API_STATUS added =
        NetLocalGroupAddMembers(nullptr, kUsersGroupName, 0, reinterpret_cast<BYTE*>(&entry), 1);
    if (added != NERR_Success && added != ERROR_MEMBER_IN_ALIAS) {
        return NetFailed(L"NetLocalGroupAddMembers", added);
    }
    return SetupResult{
        true, 0, detail + L" and holds " + (member.empty() ? L"this user" : member) + recorded};
}

SetupResult RemoveUsersGroup() {
    const NET_API_STATUS status = NetLocalGroupDel(nullptr, kUsersGroupName);
    if (status != NERR_Success && status != NERR_GroupNotFound && status != ERROR_NO_SUCH_ALIAS) {
        return NetFailed(L"NetLocalGroupDel", status);
    }
    const LSTATUS forgotten = ForgetGroupSid();
    if (forgotten != ERROR_SUCCESS) {
        return SetupResult{false, static_cast<std::uint32_t>(forgotten),
                           L"RegDeleteKeyValueW failed"};
    }
    DropSettingsKeyIfEmpty();
    return SetupResult{true, 0, std::wstring(L"group \"") + kUsersGroupName + L"\" removed"};
}

}  // namespace velk::setup
