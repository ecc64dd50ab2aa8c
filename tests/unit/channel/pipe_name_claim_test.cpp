#include "service/channel/pipe_name_claim.h"

#include <gtest/gtest.h>

#include <string>

namespace velk {
namespace {

// The instance just made counts: it is ours only when the name has exactly
// one more instance than this server held before.
TEST(PipeNameClaimTest, AnyInstanceBesidesOursGivesTheNameUp) {
    struct Case {
        const char* name;
        std::uint32_t instances;
        std::uint32_t ours;
        const wchar_t* reason;  // nullptr: kept
    };
    const Case cases[] = {
        {"first instance alone", 1, 0, nullptr},
        {"eighth instance alone", 8, 7, nullptr},
        {"first beside a squatter", 2, 0, L"the name has 2 instances, of which this server made 1"},
        {"later beside a squatter", 5, 3, L"the name has 5 instances, of which this server made 4"},
        {"squatters' many instances", 255, 0,
         L"the name has 255 instances, of which this server made 1"},
        {"fewer than ours", 1, 3, L"the name has 1 instances, of which this server made 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<Refusal> refusal = SharedNameRefusal(c.instances, c.ours);
        ASSERT_EQ(refusal.has_value(), c.reason != nullptr);
        if (refusal) {
            EXPECT_EQ(refusal->reason, c.reason);
        }
    }
}

}  // namespace
}  // namespace velk
