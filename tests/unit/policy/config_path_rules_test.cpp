#include "service/policy/config_path_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace velk {
namespace {

TEST(ConfigPathRulesTest, OnlyPlainDriveLetterPathsOfJsonFilesAreAccepted) {
    struct Case {
        const wchar_t* path;
        bool accepted;
    };
    const Case cases[] = {
        {L"C:\\Users\\me\\config.json", true},
        {L"d:/configs/client config.json", true},
        {L"C:\\Users\\me\\cfg\\x.JSON", true},
        {L"C:\\a\\config", true},
        {L"C:\\a\\console.json", true},
        {L"C:\\a\\COM10.json", true},
        {L"C:\\a\\LPT.json", true},
        {L"C:\\a\\nul_config.json", true},
        {L"C:\\caf\u00e9\\config.json", true},
        // UNC and the long and device namespaces.
        {L"\\\\host\\share\\c.json", false},
        {L"//host/share/c.json", false},
        {L"\\\\?\\C:\\Users\\me\\config.json", false},
        {L"\\\\?\\UNC\\host\\share\\c.json", false},
        {L"\\\\.\\pipe\\x", false},
        {L"\\\\.\\C:\\config.json", false},
        {L"\\??\\C:\\config.json", false},
        // Relative, rooted without a drive, drive-relative, empty.
        {L"config.json", false},
        {L"\\Users\\me\\config.json", false},
        {L"C:config.json", false},
        {L"", false},
        {L"C:\\", false},
        // URLs and other schemes.
        {L"https://example.com/c.json", false},
        {L"file:///C:/c.json", false},
        {L"C:\\a\\http://x", false},
        // Streams.
        {L"C:\\x.json:s", false},
        {L"C:\\x.json::$DATA", false},
        {L"C:\\dir:s\\x.json", false},
        // Device names, any case, with an extension, trailing dots or blanks.
        {L"CON", false},
        {L"C:\\CON", false},
        {L"C:\\a\\con.json", false},
        {L"C:\\a\\NuL", false},
        {L"C:\\a\\aux.tar.gz", false},
        {L"C:\\a\\prn.", false},
        {L"C:\\a\\COM1", false},
        {L"C:\\a\\com9.json", false},
        {L"C:\\a\\LPT1 .json", false},
        {L"C:\\a\\lpt5", false},
        {L"C:\\a\\COM\u00b9", false},
        {L"C:\\a\\conin$", false},
        {L"C:\\a\\CONOUT$.json", false},
        {L"C:\\nul\\config.json", false},
        // Names Windows would change, and steps.
        {L"C:\\a\\config.json.", false},
        {L"C:\\a\\config.json ", false},
        {L"C:\\a.\\config.json", false},
        {L"C:\\a\\..\\config.json", false},
        {L"C:\\a\\.\\config.json", false},
        {L"C:\\a\\\\config.json", false},
        {L"C:\\a\\", false},
        // Characters no name may hold.
        {L"C:\\a\\c*.json", false},
        {L"C:\\a\\c?.json", false},
        {L"C:\\a\\c\".json", false},
        {L"C:\\a\\c|d.json", false},
        {L"C:\\a\\c\tx.json", false},
        {L"C:\\a\\<c>.json", false},
        // The core's other formats.
        {L"C:\\a\\config.yaml", false},
        {L"C:\\a\\config.YML", false},
        {L"C:\\a\\config.toml", false},
    };
    for (const Case& c : cases) {
        const std::wstring problem = ConfigPathProblem(c.path);
        EXPECT_EQ(problem.empty(), c.accepted)
            << "path \"" << std::string(c.path, c.path + std::wcslen(c.path)) << "\"";
    }
    EXPECT_FALSE(ConfigPathProblem(L"C:\\" + std::wstring(32767, L'a')).empty());
}

}  // namespace
}  // namespace velk
