#include "service/supervision/core_log_settings.h"

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
        {L"logs/error.log", L"C:\\ProgramData\\VELK-VPN\\logs\\error.log"},
        {L".\\a\\..\\access.log", L"C:\\ProgramData\\VELK-VPN\\access.log"},
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

TEST(CoreLogSettingsTest, ConfigurationsAreReadForTheirLogsAsTheCoreReadsThem) {
    struct Case {
        const char* name;
        std::string json;
        bool accepted;
    };
    const Case cases[] = {
        {"no log object", R"({"inbounds": [], "outbounds": [{"protocol": "freedom"}]})", true},
        {"empty log object", R"({"log": {}})", true},
        {"null log", R"({"log": null})", true},
        {"log names off", R"({"log": {"access": "none", "error": "", "loglevel": "warning"}})",
         true},
        {"null names", R"({"log": {"access": null, "error": null}})", true},
        {"relative names", R"({"log": {"access": "access.log", "error": "error.log"}})", true},
        {"comments as the core allows", "// client\n{\"log\": /* here */ {\"access\": \"a.log\"}}",
         true},
        {"a log key deeper down is not the core's log",
         R"({"routing": {"log": {"access": "C:\\Windows\\x.log"}}, "x": [{"log": 1}]})", true},
        {"access outside", R"({"log": {"access": "C:\\Windows\\x.log"}})", false},
        {"error climbing out", R"({"log": {"error": "..\\..\\x.log"}})", false},
        {"error through escapes", R"({"log": {"error": "\u002e\u002e/x.log"}})", false},
        {"key in another case", R"({"LOG": {"Access": "C:\\Windows\\x.log"}})", false},
        {"key with a long s", "{\"log\": {\"acce\xC5\xBF\xC5\xBF\": \"C:\\\\Windows\\\\x.log\"}}",
         false},
        {"key escaped", R"({"\u006cog": {"\u0061ccess": "C:\\Windows\\x.log"}})", false},
        {"log twice (the core merges them)",
         R"({"log": {"access": "C:\\Windows\\x.log"}, "log": {"error": "e.log"}})", false},
        {"log twice in two cases", R"({"log": {}, "Log": {}})", false},
        {"access twice", R"({"log": {"access": "C:\\Windows\\x.log", "access": "a.log"}})", false},
        {"access not a string", R"({"log": {"access": ["C:\\Windows\\x.log"]}})", false},
        {"log not an object", R"({"log": "C:\\Windows\\x.log"})", false},
        {"not an object", R"(["log"])", false},
        {"not JSON", "stdout=core started\n", false},
        {"YAML", "log:\n  access: access.log\n", false},
        {"cut off", R"({"log": {"access": "a.log")", false},
        {"two documents", R"({} {})", false},
        {"empty", "", false},
        {"malformed UTF-8", "{\"log\": {\"access\": \"\xC3(\"}}", false},
    };
    for (const Case& c : cases) {
        const std::wstring problem = CoreConfigProblem(c.json, kData);
        EXPECT_EQ(problem.empty(), c.accepted) << c.name << ": " << Narrow(problem);
    }
}

TEST(CoreLogSettingsTest, DeepNestingIsNoProblem) {
    const std::string deep = "{\"x\":" + std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_EQ(CoreConfigProblem(deep, kData), L"");
}

}  // namespace
}  // namespace velk
