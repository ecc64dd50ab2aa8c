#include "service/supervision/module_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/wide_text.h"

namespace velk {
namespace {

struct DirectoryCase {
    const char* name;
    std::wstring programPath;
    std::wstring directory;
};

TEST(DirectoryOfPathTest, KeepsEverythingUpToTheLastSeparator) {
    const DirectoryCase cases[] = {
        {"service directory", L"D:\\svc\\service.exe", L"D:\\svc\\"},
        {"forward slash last", L"D:\\svc\\bin/service.exe", L"D:\\svc\\bin/"},
        {"backslash last", L"D:/svc/bin\\service.exe", L"D:/svc/bin\\"},
        {"drive root", L"C:\\service.exe", L"C:\\"},
        {"long path prefix", L"\\\\?\\C:\\Program Files\\Velk\\svc.exe",
         L"\\\\?\\C:\\Program Files\\Velk\\"},
        {"separator at the end", L"D:\\svc\\", L"D:\\svc\\"},
        {"no separator", L"service.exe", L""},
        {"drive without separator", L"D:service.exe", L""},
        {"empty", L"", L""},
    };
    for (const DirectoryCase& c : cases) {
        EXPECT_EQ(DirectoryOfPath(c.programPath), c.directory) << c.name;
    }
}

TEST(GetModuleDirectoryTest, NamesTheDirectoryOfThisTestProgram) {
    const std::wstring directory = GetModuleDirectory();
    ASSERT_FALSE(directory.empty());
    const wchar_t last = directory.back();
    EXPECT_TRUE(last == L'\\' || last == L'/') << WideToUtf8(directory);
#ifdef _WIN32
    const std::wstring program = directory + L"supervision_unit_tests.exe";
#else
    const std::wstring program = directory + L"supervision_unit_tests";
#endif
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::path(program)))
        << WideToUtf8(program);
}

}  // namespace
}  // namespace velk
