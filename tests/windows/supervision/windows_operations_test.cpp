#include "service/supervision/windows_operations.h"

#include <gtest/gtest.h>

#include "service/service_constants.h"
#include "supervision_test_support.h"
#include "tests/support/direct_caller.h"

namespace velk {
namespace {

using velk::test_support::WriteFileBytes;
using velk::testing::FakecorePath;
using velk::testing::FileExists;
using velk::testing::TempDirectory;

std::wstring ThisProgramDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path);
    return text.substr(0, text.find_last_of(L"\\/") + 1);
}

// The service's binding: the real constants and this program's directory.
TEST(WindowsOperationsTest, BindsEveryOperationToTheServiceSetting) {
    WindowsOperations operations(nullptr, nullptr);
    EXPECT_EQ(operations.GetModuleDirectory(), ThisProgramDirectory());

    const XrayStatus status = operations.QueryXrayStatus();
    EXPECT_FALSE(status.running);
    EXPECT_EQ(status.code, 0u);

    // No xray.exe beside this program: the core is looked for there only.
    TempDirectory temp;
    const std::wstring core = temp.Path() + L"core.json";
    ASSERT_TRUE(WriteFileBytes(core, "{}"));
    const OpResult started = AnswerOf(operations.StartXray(core, test_support::AnyoneMayRead,
                                                           test_support::SystemCaller().userSid));
    EXPECT_FALSE(started.ok);
    EXPECT_EQ(started.code, 2u);
    EXPECT_TRUE(FileExists(kCoreRuntimeLogPath));

    const OpResult stopped = operations.StopXray();
    EXPECT_TRUE(stopped.ok);
    EXPECT_EQ(stopped.code, 0u);

    const std::wstring config = temp.Path() + L"exit4.cfg";
    ASSERT_TRUE(WriteFileBytes(config, "exit_after_ms=0\nexit_code=4\n"));
    const OpResult helper =
        operations.RunHelperProcess(FakecorePath(), L"run -config \"" + config + L"\"", 10000);
    EXPECT_FALSE(helper.ok);
    EXPECT_EQ(helper.code, 4u);

    // No core ran, so no session bounds what the service's runtime log shows.
    EXPECT_EQ(operations.CoreSession().owner, L"");
    ASSERT_TRUE(WriteFileBytes(kCoreRuntimeLogPath, "older lines\nexit_code=4\n"));
    EXPECT_EQ(operations.ReadCoreLogTail(CoreLog::kRuntime, 12), L"exit_code=4\n");
}

}  // namespace
}  // namespace velk
