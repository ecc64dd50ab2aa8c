#include "service/policy/path_grammar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/wide_text.h"
#include "service/policy/ascii_fold.h"

namespace velk {
namespace {

std::string Narrow(const std::wstring& text) {
    return WideToUtf8(text);
}

TEST(PathGrammarTest, FormsAreToldApartWithEitherSeparator) {
    using F = PathForm;
    struct Case {
        const wchar_t* path;
        PathForm form;
        bool streamOrScheme;
    };
    const Case cases[] = {
        {L"", F::kEmpty, false},
        {L"C:\\ProgramData\\x.json", F::kDriveAbsolute, false},
        {L"c:/programdata/x.json", F::kDriveAbsolute, false},
        {L"C:\\", F::kDriveAbsolute, false},
        {L"C:x.json", F::kDriveRelative, false},
        {L"C:", F::kDriveRelative, false},
        // Only an ASCII letter names a drive.
        {L"1:\\x.json", F::kRelative, true},
        {L"\u00E9:\\x.json", F::kRelative, true},
        {L"\\\\server\\share\\x.json", F::kUnc, false},
        {L"//server/share/x.json", F::kUnc, false},
        {L"\\/server\\share", F::kUnc, false},
        {L"\\\\?\\C:\\x.json", F::kDevice, true},
        {L"//?/C:/x.json", F::kDevice, true},
        {L"\\\\.\\pipe\\x", F::kDevice, false},
        {L"\\\\.\\", F::kDevice, false},
        // A server whose name begins with a dot is still a server.
        {L"\\\\.host\\share", F::kUnc, false},
        {L"\\ProgramData\\x.json", F::kRootRelative, false},
        {L"/x.json", F::kRootRelative, false},
        {L"x.json", F::kRelative, false},
        {L"..\\x.json", F::kRelative, false},
        {L"x.log:hidden", F::kRelative, true},
        {L"C:\\x.log::$DATA", F::kDriveAbsolute, true},
        {L"file:///C:/x.json", F::kRelative, true},
        {L"C:file:x", F::kDriveRelative, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.path));
        EXPECT_EQ(ClassifyPath(c.path), c.form);
        EXPECT_EQ(HoldsStreamOrScheme(c.path), c.streamOrScheme);
    }
}

TEST(PathGrammarTest, NamesSplitOnBothSeparatorsAndResolveAsWindowsDoes) {
    struct Case {
        const wchar_t* path;
        std::vector<std::wstring> names;
        std::vector<std::wstring> resolved;
    };
    const std::vector<Case> cases = {
        {L"C:\\a\\b.log", {L"a", L"b.log"}, {L"a", L"b.log"}},
        {L"C:/a\\b/c", {L"a", L"b", L"c"}, {L"a", L"b", L"c"}},
        {L"C:\\a\\\\b\\", {L"a", L"", L"b", L""}, {L"a", L"b"}},
        {L"C:\\a\\.\\b", {L"a", L".", L"b"}, {L"a", L"b"}},
        {L"C:\\a\\b\\..\\c", {L"a", L"b", L"..", L"c"}, {L"a", L"c"}},
        // Climbing stops at the root.
        {L"C:\\..\\..\\a", {L"..", L"..", L"a"}, {L"a"}},
        {L"C:\\", {L""}, {}},
        // Three dots are a name, not a climb.
        {L"C:\\...\\a", {L"...", L"a"}, {L"...", L"a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.path));
        const std::vector<std::wstring> names = PathNames(c.path, NamesStart(ClassifyPath(c.path)));
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(ResolveNames(names), c.resolved);
    }
}

TEST(PathGrammarTest, NameKinds) {
    EXPECT_EQ(KindOfName(L""), NameKind::kEmpty);
    EXPECT_EQ(KindOfName(L"."), NameKind::kCurrent);
    EXPECT_EQ(KindOfName(L".."), NameKind::kParent);
    for (const wchar_t* plain : {L"...", L".x", L"x..", L" ..", L"a"}) {
        SCOPED_TRACE(Narrow(plain));
        EXPECT_EQ(KindOfName(plain), NameKind::kPlain);
    }
    EXPECT_TRUE(HoldsPathSeparator(L"a/b"));
    EXPECT_TRUE(HoldsPathSeparator(L"a\\b"));
    EXPECT_FALSE(HoldsPathSeparator(L"a:b"));
}

// ASCII letters only: the long s (U+017F), the Kelvin sign (U+212A) and
// other letters with a case stay what they are, unlike in key folding.
TEST(AsciiFoldTest, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(AsciiLower(std::wstring(L"C:\\ProgramData\\VELK-VPN")), L"c:\\programdata\\velk-vpn");
    EXPECT_EQ(AsciiLower(std::wstring(L"\u017F\u212A\u00C9Z@[")), L"\u017F\u212A\u00C9z@[");
    EXPECT_EQ(AsciiLower(std::string("LocalHost\xC5\xBF\xE2\x84\xAA")),
              "localhost\xC5\xBF\xE2\x84\xAA");
    EXPECT_TRUE(SameAsciiFolded(L"C:\\Data\\", L"c:\\DATA\\"));
    EXPECT_FALSE(SameAsciiFolded(L"s", L"\u017F"));
    EXPECT_FALSE(SameAsciiFolded(L"k", L"\u212A"));
    EXPECT_FALSE(SameAsciiFolded(L"ab", L"abc"));
}

}  // namespace
}  // namespace velk
