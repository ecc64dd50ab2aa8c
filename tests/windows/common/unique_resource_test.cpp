#include "common/unique_resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <utility>
#include <vector>

#include "common/registered_wait.h"
#include "common/service_handles.h"
#include "common/unique_handle.h"
#include "common/winsock_handles.h"
#include "common/winsock_session.h"

namespace velk {
namespace {

// Any code a close call could leave behind would do; this one is unusual.
constexpr DWORD kMarkerError = 0x2BADu;

// A kind whose close records what it was given and, as close calls may,
// overwrites the last error; 0 and -1 both mean "nothing owned".
std::vector<int> closed;
struct CountedTraits {
    using Raw = int;
    static Raw Empty() { return 0; }
    static bool IsEmpty(Raw value) { return value == 0 || value == -1; }
    static void Close(Raw value) {
        closed.push_back(value);
        SetLastError(ERROR_INVALID_HANDLE);
    }
};
using UniqueCounted = UniqueResource<CountedTraits>;

struct OwnerCase {
    const char* name;
    std::function<void()> run;
    std::vector<int> closedAfter;  // in the order the values were closed
};

TEST(UniqueResource, ClosesEachOwnedValueOnceAndNeverAnEmptyOne) {
    const OwnerCase cases[] = {
        {"goes", [] { UniqueCounted owner(7); }, {7}},
        {"reset to another", [] { UniqueCounted(7).Reset(8); }, {7, 8}},
        {"moved out",
         [] {
             UniqueCounted source(7);
             const UniqueCounted target(std::move(source));
             EXPECT_FALSE(source);
             EXPECT_EQ(target.Get(), 7);
         },
         {7}},
        {"moved over a live one",
         [] {
             UniqueCounted source(7);
             UniqueCounted target(8);
             target = std::move(source);
             EXPECT_FALSE(source);
         },
         {8, 7}},
        {"released", [] { EXPECT_EQ(UniqueCounted(7).Release(), 7); }, {}},
        {"written through Put",
         [] {
             UniqueCounted owner(7);
             *owner.Put() = 9;
         },
         {7, 9}},
        {"either empty value",
         [] {
             const UniqueCounted null(0);
             const UniqueCounted invalid(-1);
             EXPECT_FALSE(null);
             EXPECT_FALSE(invalid);
         },
         {}},
    };
    for (const OwnerCase& c : cases) {
        closed.clear();
        c.run();
        EXPECT_EQ(closed, c.closedAfter) << c.name;
    }
}

TEST(UniqueResource, ClosingKeepsTheLastError) {
    UniqueCounted owner(7);
    SetLastError(kMarkerError);
    owner.Reset();
    EXPECT_EQ(GetLastError(), kMarkerError);
}

// Real kinds, each with a way to tell from outside whether a raw value is
// still open.
struct EventKind {
    static UniqueHandle Make() { return UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }
    static bool Open(HANDLE raw) { return WaitForSingleObject(raw, 0) != WAIT_FAILED; }
};
struct RegKeyKind {
    static UniqueRegKey Make() {
        UniqueRegKey key;
        RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Put());
        return key;
    }
    static bool Open(HKEY raw) {
        DWORD subkeys = 0;
        return RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
};
struct SocketKind {
    static UniqueSocket Make() { return UniqueSocket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)); }
    static bool Open(SOCKET raw) {
        int type = 0;
        int size = sizeof type;
        return getsockopt(raw, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &size) == 0;
    }
};

template <typename Kind>
class RealKind : public ::testing::Test {
  protected:
    const WinsockSession winsock_;  // for the socket kind
};
using Kinds = ::testing::Types<EventKind, RegKeyKind, SocketKind>;
TYPED_TEST_SUITE(RealKind, Kinds);

TYPED_TEST(RealKind, MovingKeepsItOpenResettingClosesIt) {
    auto owner = TypeParam::Make();
    ASSERT_TRUE(owner);
    const auto raw = owner.Get();
    auto moved = std::move(owner);
    EXPECT_FALSE(owner);
    EXPECT_TRUE(TypeParam::Open(raw));
    SetLastError(kMarkerError);
    moved.Reset();
    EXPECT_EQ(GetLastError(), kMarkerError);
    EXPECT_FALSE(moved);
    EXPECT_FALSE(TypeParam::Open(raw));
}

TEST(UniqueHandleTest, InvalidHandleValueOwnsNothing) {
    UniqueHandle owner(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(owner);
    EXPECT_EQ(owner.Release(), INVALID_HANDLE_VALUE);
}

struct CallbackProgress {
    UniqueHandle started{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> finished{false};
};

void CALLBACK SlowCallback(void* context, BOOLEAN) {
    auto* progress = static_cast<CallbackProgress*>(context);
    SetEvent(progress->started.Get());
    Sleep(300);
    progress->finished = true;
}

// The context of a wait may go as soon as its owner has: the owner's end
// waits for a callback under way.
TEST(RegisteredWaitTest, ResetWaitsForTheCallbackUnderWay) {
    const UniqueHandle signalled(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    CallbackProgress progress;
    Win32Result<UniqueRegisteredWait> wait =
        RegisterWaitOnce(signalled.Get(), &SlowCallback, &progress);
    ASSERT_TRUE(wait);
    ASSERT_EQ(WaitForSingleObject(progress.started.Get(), 10000), WAIT_OBJECT_0);
    wait.value().Reset();
    EXPECT_TRUE(progress.finished);
}

}  // namespace
}  // namespace velk
