#include "common/win32_result.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace velk {
namespace {

TEST(Win32ResultTest, FailureIsLoggedWithItsCallAndCodeInDecimal) {
    EXPECT_EQ(FailureText({L"CreateProcessW", 2}), L"CreateProcessW failed. Error=2");
    EXPECT_EQ(FailureText({L"ReadFile", 4294967295u}), L"ReadFile failed. Error=4294967295");
}

TEST(Win32ResultTest, HoldsEitherAMoveOnlyValueOrTheFailure) {
    Win32Result<std::unique_ptr<int>> value(std::make_unique<int>(7));
    ASSERT_TRUE(value);
    const std::unique_ptr<int> taken = std::move(value.value());
    EXPECT_EQ(*taken, 7);

    const Win32Result<std::unique_ptr<int>> failed(Win32Error{L"CreateFileW", 5});
    ASSERT_FALSE(failed);
    EXPECT_STREQ(failed.error().call, L"CreateFileW");
    EXPECT_EQ(failed.error().code, 5u);
}

}  // namespace
}  // namespace velk
