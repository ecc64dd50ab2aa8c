#include "service/policy/core_log_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "common/wide_text.h"

namespace velk {
namespace {

constexpr wchar_t kData[] = L"C:\\ProgramData\\VELK-VPN";

std::string Narrow(const std::wstring& text) {
    return WideToUtf8(text);
}

TEST(CoreLogSettingsTest, LogNamesResolveInsideTheDataFolderOrAreRefused) {
    struct Case {
        const wchar_t* value;
        const wchar_t* path;  // nullptr: refused
    };
    const Case cases[] = {
        {L"", L""},
        {L"none", L""},
        {L"access.log", L"C:\\ProgramData\\VELK-VPN\\access.log"},
        // A relative name is one plain file name: its folder would be the
        // core's working directory's business.
        {L"logs/error.log", nullptr},
        {L".\\a\\..\\access.log", nullptr},
        {L"C:\\ProgramData\\VELK-VPN\\logs\\x.log", L"C:\\ProgramData\\VELK-VPN\\logs\\x.log"},
        {L"None", L"C:\\ProgramData\\VELK-VPN\\None"},
        {L"C:\\ProgramData\\VELK-VPN\\access.log", L"C:\\ProgramData\\VELK-VPN\\access.log"},
        {L"c:/programdata/velk-vpn/x.log", L"c:\\programdata\\velk-vpn\\x.log"},
        {L"\\ProgramData\\VELK-VPN\\x.log", L"C:\\ProgramData\\VELK-VPN\\x.log"},
        {L"C:\\ProgramData\\VELK-VPN\\\\x.log", L"C:\\ProgramData\\VELK-VPN\\x.log"},
        // Elsewhere on the machine.
        {L"C:\\Windows\\x.log", nullptr},
        {L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\x.cmd", nullptr},
        {L"D:\\ProgramData\\VELK-VPN\\x.log", nullptr},
        {L"C:\\ProgramData\\VELK-VPN", nullptr},
        {L"C:\\ProgramData\\VELK-VPN\\", nullptr},
        {L"C:\\ProgramData\\VELK-VPN-evil\\x.log", nullptr},
        {L"\\Windows\\x.log", nullptr},
        // Climbing out, with either separator.
        {L"..\\x.log", nullptr},
        {L"../../Windows/x.log", nullptr},
        {L"a\\..\\..\\x.log", nullptr},
        {L"C:\\ProgramData\\VELK-VPN\\..\\x.log", nullptr},
        {L"..", nullptr},
        {L".", nullptr},
        // UNC, device and long forms, drive-relative.
        {L"\\\\host\\share\\x.log", nullptr},
        {L"//host/share/x.log", nullptr},
        {L"\\\\?\\C:\\ProgramData\\VELK-VPN\\x.log", nullptr},
        {L"\\\\.\\pipe\\x", nullptr},
        {L"\\/host\\share\\x.log", nullptr},
        {L"C:x.log", nullptr},
        // Streams and schemes, device names, names Windows would change.
        {L"access.log:hidden", nullptr},
        {L"C:\\ProgramData\\VELK-VPN\\x.log::$DATA", nullptr},
        {L"file:///C:/x.log", nullptr},
        {L"CON", nullptr},
        {L"nul.log", nullptr},
        {L"logs\\COM1\\x.log", nullptr},
        {L"x.log.", nullptr},
        {L"x.log ", nullptr},
        {L"x*.log", nullptr},
        {L"x\n.log", nullptr},
    };
    for (const Case& c : cases) {
        const CoreLogTarget target = ResolveCoreLogPath(c.value, kData);
        const std::string name = Narrow(c.value);
        if (c.path == nullptr) {
            EXPECT_FALSE(target.problem.empty()) << "\"" << name << "\" -> " << Narrow(target.path);
            EXPECT_TRUE(target.path.empty()) << name;
        } else {
            EXPECT_EQ(target.problem, L"") << "\"" << name << "\"";
            EXPECT_EQ(target.path, c.path) << "\"" << name << "\"";
        }
    }
}

}  // namespace
}  // namespace velk
