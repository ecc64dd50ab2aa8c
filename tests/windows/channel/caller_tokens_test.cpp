#include "service/channel/caller_tokens.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "common/unique_handle.h"
#include "tests/support/restricted_token.h"

namespace velk {
namespace {

// A group nobody is in: Wine keeps no local groups, and on Windows this one
// does not exist.
constexpr wchar_t kNoGroup[] = L"VelkVPN Test Nobody";

UniqueHandle OwnToken() {
    UniqueHandle token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, token.Put());
    return token;
}

// Under Wine every process is an enabled administrator; the restricted
// token is the same user with the group for deny only.
TEST(ReadTokenFactsTest, TellsAnElevatedTokenFromARestrictedOne) {
    const UniqueHandle own = OwnToken();
    const UniqueHandle restricted = test_support::RestrictedToken();
    ASSERT_TRUE(own);
    ASSERT_TRUE(restricted);
    TrustedGroup group(std::nullopt);
    const TokenFacts ownFacts = ReadTokenFacts(own.Get(), group);
    const TokenFacts restrictedFacts = ReadTokenFacts(restricted.Get(), group);

    ASSERT_TRUE(ownFacts.read);
    EXPECT_EQ(ownFacts.userSid.rfind(L"S-1-5-", 0), 0u) << "a SID in text form";
    EXPECT_FALSE(ownFacts.localSystem);
    EXPECT_TRUE(ownFacts.elevatedAdministrator);
    EXPECT_FALSE(ownFacts.groupMember);
    EXPECT_EQ(RankOf(ownFacts), CallerRank::kAdministrator);

    ASSERT_TRUE(restrictedFacts.read);
    EXPECT_EQ(restrictedFacts.userSid, ownFacts.userSid);
    EXPECT_FALSE(restrictedFacts.elevatedAdministrator) << "deny-only is not membership";
    EXPECT_EQ(RankOf(restrictedFacts), CallerRank::kUntrusted);
}

// The group is known by the SID it was resolved to (here the builtin
// Administrators stands in, Wine keeping no local groups).
TEST(ReadTokenFactsTest, CountsTheResolvedGroupsSidInTheToken) {
    const UniqueHandle own = OwnToken();
    ASSERT_TRUE(own);
    const LocalGroup administrators{L"S-1-5-32-544", L"Administrators"};
    struct Case {
        const char* name;
        HANDLE token;
        std::optional<LocalGroup> group;
        bool member;
    };
    const std::vector<Case> cases = {
        {"no group: nobody", own.Get(), std::nullopt, false},
        {"the group enabled", own.Get(), administrators, true},
        {"a SID that is no SID", own.Get(), LocalGroup{L"VelkVPN Users", L"VelkVPN Users"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TrustedGroup group(c.group);
        EXPECT_EQ(ReadTokenFacts(c.token, group).groupMember, c.member);
    }
}

TEST(ReadTokenFactsTest, ANullTokenIsUnread) {
    TrustedGroup group(std::nullopt);
    EXPECT_FALSE(ReadTokenFacts(nullptr, group).read);
}

TEST(IdentifyPipeClientTest, KnowsTheClientProcessAndItsAccount) {
    const std::wstring name =
        L"\\\\.\\pipe\\velk_caller_test_" + std::to_wstring(GetCurrentProcessId());
    UniqueHandle server(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                         512, 512, 0, nullptr));
    ASSERT_TRUE(server);
    UniqueHandle client(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(client);
    ConnectNamedPipe(server.Get(), nullptr);
    // Impersonation needs something read from the client first.
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(client.Get(), "x", 1, &written, nullptr));
    char byte = 0;
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(server.Get(), &byte, 1, &read, nullptr));

    const CallerIdentity caller =
        IdentifyPipeClient(server.Get(), LocalGroupLookup(kNoGroup).Current());
    EXPECT_EQ(caller.processId, GetCurrentProcessId());
    EXPECT_EQ(caller.rank, CallerRank::kAdministrator);
    TrustedGroup group(std::nullopt);
    EXPECT_EQ(caller.userSid, ReadTokenFacts(OwnToken().Get(), group).userSid);
    EXPECT_NE(caller.account.find(L'\\'), std::wstring::npos) << "DOMAIN\\name";

    // The thread is itself again: it holds no thread token.
    UniqueHandle threadToken;
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, threadToken.Put()));
}

TEST(IdentifyPipeClientTest, AHandleThatIsNoPipeLeavesTheCallerUntrusted) {
    const CallerIdentity caller =
        IdentifyPipeClient(GetCurrentProcess(), LocalGroupLookup(kNoGroup).Current());
    EXPECT_EQ(caller.rank, CallerRank::kUntrusted);
    EXPECT_EQ(caller.processId, 0u);
}

}  // namespace
}  // namespace velk
