#include "service/policy/trusted_group.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velk {
namespace {

constexpr wchar_t kGroup[] = L"VelkVPN Users";
constexpr wchar_t kMachine[] = L"PC1";
constexpr wchar_t kMachineSid[] = L"S-1-5-21-1-2-3";
constexpr wchar_t kLocalAlias[] = L"S-1-5-21-1-2-3-1005";
constexpr wchar_t kQualified[] = L"PC1\\VelkVPN Users";

// A machine that answers from tables and notes what it was asked.
class FakeMachine final : public LocalGroupSource {
  public:
    std::optional<AccountDomain> domain;
    std::optional<std::wstring> stored;
    std::map<std::wstring, AccountLookup> bySid;
    std::map<std::wstring, AccountLookup> byName;
    std::vector<std::wstring> asked;

    std::optional<AccountDomain> MachineAccountDomain() override {
        asked.push_back(L"domain");
        return domain;
    }
    std::optional<std::wstring> StoredGroupSid() override {
        asked.push_back(L"stored");
        return stored;
    }
    std::optional<AccountLookup> LookupSid(const std::wstring& sid) override {
        asked.push_back(L"sid " + sid);
        const auto found = bySid.find(sid);
        return found == bySid.end() ? std::nullopt : std::optional<AccountLookup>(found->second);
    }
    std::optional<AccountLookup> LookupName(const std::wstring& name) override {
        asked.push_back(L"name " + name);
        const auto found = byName.find(name);
        return found == byName.end() ? std::nullopt : std::optional<AccountLookup>(found->second);
    }
};

AccountLookup Named(const wchar_t* sid, AccountUse use, const wchar_t* name = kGroup) {
    return AccountLookup{sid, use, name};
}

TEST(ResolveLocalGroupTest, OnlyAnAliasOfThisMachinesAccountDomainCounts) {
    using U = AccountUse;
    const std::optional<AccountLookup> none;
    const AccountLookup localAlias = Named(kLocalAlias, U::kAlias);
    const wchar_t* const noGroup = nullptr;
    struct Case {
        const char* name;
        const wchar_t* stored;                  // the recorded SID; null: none
        std::optional<AccountLookup> storedIs;  // what that SID looks up to
        std::optional<AccountLookup> named;     // what the qualified name looks up to
        const wchar_t* sid;                     // the group found; null: no members
        const wchar_t* groupName;               // its name today, for the member list
        bool askedSid;
        bool askedName;
    };
    const std::vector<Case> cases = {
        {"local alias by its qualified name", nullptr, none, localAlias, kLocalAlias, kGroup, false,
         true},
        {"domain group of the same name", nullptr, none, Named(L"S-1-5-21-7-8-9-1107", U::kGroup),
         noGroup, L"", false, true},
        {"domain-local group of another domain", nullptr, none,
         Named(L"S-1-5-21-7-8-9-1108", U::kAlias), noGroup, L"", false, true},
        {"builtin alias", nullptr, none, Named(L"S-1-5-32-544", U::kAlias), noGroup, L"", false,
         true},
        {"well-known group", nullptr, none, Named(L"S-1-1-0", U::kWellKnownGroup), noGroup, L"",
         false, true},
        {"local user of that name", nullptr, none, Named(L"S-1-5-21-1-2-3-1001", U::kUser), noGroup,
         L"", false, true},
        {"the account domain itself", nullptr, none, Named(kMachineSid, U::kAlias), noGroup, L"",
         false, true},
        {"alias two levels below the domain", nullptr, none,
         Named(L"S-1-5-21-1-2-3-1005-7", U::kAlias), noGroup, L"", false, true},
        {"alias of a domain whose SID only begins like ours", nullptr, none,
         Named(L"S-1-5-21-1-2-30-1005", U::kAlias), noGroup, L"", false, true},
        {"alias whose SID runs on from ours without a dash", nullptr, none,
         Named(L"S-1-5-21-1-2-31005", U::kAlias), noGroup, L"", false, true},
        {"missing group", nullptr, none, none, noGroup, L"", false, true},
        {"recorded local alias: no name lookup", kLocalAlias, localAlias, none, kLocalAlias, kGroup,
         true, false},
        {"recorded group renamed since", kLocalAlias, Named(kLocalAlias, U::kAlias, L"VPN Users"),
         none, kLocalAlias, L"VPN Users", true, false},
        {"recorded and named differ: the recorded one", kLocalAlias, localAlias,
         Named(L"S-1-5-21-1-2-3-1010", U::kAlias), kLocalAlias, kGroup, true, false},
        {"recorded SID of another domain is never looked up", L"S-1-5-21-7-8-9-1107",
         Named(L"S-1-5-21-7-8-9-1107", U::kAlias), localAlias, kLocalAlias, kGroup, false, true},
        {"recorded builtin alias is never looked up", L"S-1-5-32-544",
         Named(L"S-1-5-32-544", U::kAlias), none, noGroup, L"", false, true},
        {"recorded group deleted: the name decides", kLocalAlias, none, none, noGroup, L"", true,
         true},
        {"recorded SID of a local user: the name decides", L"S-1-5-21-1-2-3-1001",
         Named(L"S-1-5-21-1-2-3-1001", U::kUser), localAlias, kLocalAlias, kGroup, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMachine fake;
        fake.domain = AccountDomain{kMachine, kMachineSid};
        if (c.stored != nullptr) {
            fake.stored = c.stored;
            if (c.storedIs) {
                fake.bySid[c.stored] = *c.storedIs;
            }
        }
        if (c.named) {
            fake.byName[kQualified] = *c.named;
        }
        const std::optional<LocalGroup> group = ResolveLocalGroup(kGroup, fake);
        ASSERT_EQ(group.has_value(), c.sid != nullptr);
        if (group) {
            EXPECT_EQ(group->sid, c.sid);
            EXPECT_EQ(group->name, c.groupName);
        }
        std::vector<std::wstring> asked = {L"domain", L"stored"};
        if (c.askedSid) {
            asked.push_back(std::wstring(L"sid ") + c.stored);
        }
        if (c.askedName) {
            asked.push_back(std::wstring(L"name ") + kQualified);
        }
        EXPECT_EQ(fake.asked, asked);
    }
}

// Without the machine's account domain nothing can be told local: no group,
// and nothing else is asked.
TEST(ResolveLocalGroupTest, AnUnknownAccountDomainTrustsNoGroup) {
    FakeMachine fake;
    fake.stored = kLocalAlias;
    fake.bySid[kLocalAlias] = Named(kLocalAlias, AccountUse::kAlias);
    fake.byName[kQualified] = Named(kLocalAlias, AccountUse::kAlias);
    EXPECT_FALSE(ResolveLocalGroup(kGroup, fake).has_value());
    EXPECT_EQ(fake.asked, std::vector<std::wstring>{L"domain"});
}

// The machine is asked once per lifetime, whatever it answered; a request
// for another name is answered anew.
TEST(LocalGroupCacheTest, AsksTheMachineOncePerLifetime) {
    struct Step {
        const char* name;
        std::uint64_t nowMs;
        const wchar_t* group;
        bool exists;  // whether the machine has the group now
        bool found;
        std::size_t resolutions;  // how often the machine was asked in all
    };
    const std::vector<Step> steps = {
        {"first request resolves", 1000, kGroup, false, false, 1},
        {"missing group is kept too", 1500, kGroup, true, false, 1},
        {"just before the lifetime ends", 60999, kGroup, true, false, 1},
        {"once it has ended", 61000, kGroup, true, true, 2},
        {"kept again", 90000, kGroup, false, true, 2},
        {"another name", 90001, L"Other", false, false, 3},
        {"back to the first name", 90002, kGroup, true, true, 4},
    };
    LocalGroupCache cache(60000);
    std::size_t resolutions = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        FakeMachine fake;
        fake.domain = AccountDomain{kMachine, kMachineSid};
        if (step.exists) {
            fake.byName[std::wstring(kMachine) + L"\\" + step.group] =
                Named(kLocalAlias, AccountUse::kAlias, step.group);
        }
        const std::optional<LocalGroup> group = cache.Get(step.group, fake, step.nowMs);
        resolutions += fake.asked.empty() ? 0 : 1;
        EXPECT_EQ(group.has_value(), step.found);
        EXPECT_EQ(resolutions, step.resolutions);
    }
}

}  // namespace
}  // namespace velk
