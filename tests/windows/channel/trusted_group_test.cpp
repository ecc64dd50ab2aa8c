// The machine's side of the trusted group: the account domain, the recorded
// SID and the lookups, against the real LSA and registry. Wine keeps no local
// groups, so no local alias can be found here; what shows is that the
// machine's answers are read right and that users, builtin and well-known
// groups are never taken for the group.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/service_handles.h"
#include "common/unique_handle.h"
#include "service/channel/caller_tokens.h"
#include "service/service_constants.h"

namespace velk {
namespace {

// A key of this test's own, never the installers' one.
std::wstring TestKey() {
    return L"SOFTWARE\\VelkVPN Test " + std::to_wstring(GetCurrentProcessId());
}

// Leaves the value as a test case wants it (no type: no key at all) and
// removes the key when it goes.
class RecordedValue {
  public:
    RecordedValue(DWORD type, const std::vector<BYTE>& data) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, TestKey().c_str());
        if (type == REG_NONE) {
            return;
        }
        HKEY opened = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, TestKey().c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &opened, nullptr) != ERROR_SUCCESS) {
            return;
        }
        const UniqueRegKey key(opened);
        written_ = RegSetValueExW(key.Get(), kUsersGroupSidValue, 0, type, data.data(),
                                  static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }
    ~RecordedValue() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, TestKey().c_str()); }
    RecordedValue(const RecordedValue&) = delete;
    RecordedValue& operator=(const RecordedValue&) = delete;

    bool Written() const { return written_; }

  private:
    bool written_ = false;
};

std::vector<BYTE> Text(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

std::wstring OwnUserSid() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) {
        return std::wstring();
    }
    BYTE buffer[512];
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof(buffer), &size)) {
        return std::wstring();
    }
    return SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

TEST(MachineLocalGroupSourceTest, ReadsOnlyASidFromTheRecordedValue) {
    const DWORD five = 5;
    const auto* fiveBytes = reinterpret_cast<const BYTE*>(&five);
    struct Case {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
        std::optional<std::wstring> sid;
    };
    const std::vector<Case> cases = {
        {"no key", REG_NONE, {}, std::nullopt},
        {"a SID", REG_SZ, Text(L"S-1-5-21-1-2-3-1005"), std::wstring(L"S-1-5-21-1-2-3-1005")},
        {"a SID in lower case, made canonical", REG_SZ, Text(L"s-1-5-21-1-2-3-1005"),
         std::wstring(L"S-1-5-21-1-2-3-1005")},
        {"a name", REG_SZ, Text(L"VelkVPN Users"), std::nullopt},
        {"empty", REG_SZ, Text(L""), std::nullopt},
        {"longer than any SID", REG_SZ, Text(L"S-1-5-21" + std::wstring(300, L'1')), std::nullopt},
        {"a number", REG_DWORD, std::vector<BYTE>(fiveBytes, fiveBytes + sizeof(five)),
         std::nullopt},
        {"an expandable string", REG_EXPAND_SZ, Text(L"S-1-5-21-1-2-3-1005"), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RecordedValue value(c.type, c.data);
        ASSERT_TRUE(c.type == REG_NONE || value.Written());
        MachineLocalGroupSource source(TestKey());
        EXPECT_EQ(source.StoredGroupSid(), c.sid);
    }
}

TEST(MachineLocalGroupSourceTest, KnowsThisMachinesAccountDomainAndAccounts) {
    MachineLocalGroupSource source(TestKey());
    const std::optional<AccountDomain> domain = source.MachineAccountDomain();
    ASSERT_TRUE(domain.has_value());
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD computerSize = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(computer, &computerSize));
    EXPECT_EQ(domain->name, computer);
    EXPECT_EQ(domain->sid.rfind(L"S-1-5-21-", 0), 0u) << domain->sid.c_str();

    using U = AccountUse;
    struct Case {
        const char* name;
        std::wstring sidOrName;
        bool bySid;
        std::optional<AccountLookup> found;
    };
    const std::vector<Case> cases = {
        {"builtin Administrators by SID", L"S-1-5-32-544", true,
         AccountLookup{L"S-1-5-32-544", U::kAlias, L"Administrators"}},
        {"builtin Administrators by name", L"BUILTIN\\Administrators", false,
         AccountLookup{L"S-1-5-32-544", U::kAlias, L"Administrators"}},
        {"Everyone", L"S-1-1-0", true, AccountLookup{L"S-1-1-0", U::kWellKnownGroup, L"Everyone"}},
        {"text that is no SID", L"VelkVPN Users", true, std::nullopt},
        {"a group this machine does not have", domain->name + L"\\VelkVPN Test Nobody", false,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<AccountLookup> found =
            c.bySid ? source.LookupSid(c.sidOrName) : source.LookupName(c.sidOrName);
        ASSERT_EQ(found.has_value(), c.found.has_value());
        if (found) {
            EXPECT_EQ(found->sid, c.found->sid);
            EXPECT_EQ(found->use, c.found->use);
            EXPECT_EQ(found->name, c.found->name);
        }
    }
}

// The resolution against the real machine: whatever the record or the name
// points at, a user, a builtin or a well-known group never becomes the group.
TEST(MachineLocalGroupSourceTest, TakesNoUserOrBuiltinGroupForTheLocalGroup) {
    const std::wstring user = OwnUserSid();
    ASSERT_FALSE(user.empty());
    struct Case {
        const char* name;
        std::wstring recorded;  // empty: nothing recorded
        std::wstring groupName;
    };
    const std::vector<Case> cases = {
        {"nothing recorded, no such group", L"", L"VelkVPN Test Nobody"},
        {"recorded: the builtin Administrators", L"S-1-5-32-544", L"VelkVPN Test Nobody"},
        {"recorded: this user", user, L"VelkVPN Test Nobody"},
        {"recorded: Everyone", L"S-1-1-0", L"VelkVPN Test Nobody"},
        {"named: the builtin Administrators", L"", L"Administrators"},
        {"named: Everyone", L"", L"Everyone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RecordedValue value(c.recorded.empty() ? REG_NONE : REG_SZ, Text(c.recorded));
        MachineLocalGroupSource source(TestKey());
        EXPECT_FALSE(ResolveLocalGroup(c.groupName, source).has_value());
    }
}

}  // namespace
}  // namespace velk
