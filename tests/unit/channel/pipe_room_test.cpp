#include "service/channel/pipe_room.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace velk {
namespace {

constexpr std::uint64_t kNow = 10000;
constexpr PipeRoomRules kRules{300, 2};

// Instance shapes, each with the order its client connected and its process.
PipeInstanceView Listening() {
    PipeInstanceView view;
    view.phase = PipePhase::kListening;
    return view;
}
PipeInstanceView Silent(std::uint64_t arrival, std::uint32_t pid, std::uint64_t connectedAt) {
    PipeInstanceView view;
    view.phase = PipePhase::kReading;
    view.arrival = arrival;
    view.connectedAt = connectedAt;
    view.clientProcessId = pid;
    return view;
}
PipeInstanceView Answered(std::uint64_t arrival, std::uint32_t pid, std::uint64_t writingSince) {
    PipeInstanceView view = Silent(arrival, pid, 0);
    view.phase = PipePhase::kWriting;
    view.writingSince = writingSince;
    return view;
}
PipeInstanceView Queued(std::uint64_t arrival, std::uint32_t pid) {
    PipeInstanceView view = Silent(arrival, pid, 0);
    view.phase = PipePhase::kQueued;
    return view;
}
// Its read or write cancelled: the client is on the way out.
PipeInstanceView Leaving(PipeInstanceView view) {
    view.phase =
        view.phase == PipePhase::kWriting ? PipePhase::kWriteCancelled : PipePhase::kReadCancelled;
    return view;
}

// Seven young silent clients of processes 11..17 that connected after
// everyone else, and `last` in the eighth instance.
std::vector<PipeInstanceView> Crowd(PipeInstanceView last) {
    std::vector<PipeInstanceView> crowd;
    for (std::uint32_t i = 0; i < 7; ++i) {
        crowd.push_back(Silent(100 + i, 11 + i, kNow - 10));
    }
    crowd.push_back(last);
    return crowd;
}
std::vector<PipeInstanceView> With(std::vector<PipeInstanceView> instances, std::size_t at,
                                   PipeInstanceView view) {
    instances[at] = view;
    return instances;
}

constexpr std::uint64_t kYoungEnd = kNow - 10 + 300;  // when the young clients' grace ends
constexpr std::size_t kNone = 99;

TEST(PipeRoomTest, ChoosesWhoIsLetGoAndWhenToLookAgain) {
    struct Case {
        const char* name;
        std::vector<PipeInstanceView> instances;
        std::size_t letGo;  // kNone: nobody
        std::uint64_t lookAgainAt;
    };
    const std::vector<PipeInstanceView> youngEight = Crowd(Silent(107, 18, kNow - 10));
    // Process 9 holds three instances, all past the grace, the oldest of them
    // (arrival 40) the sixth.
    const std::vector<PipeInstanceView> threeOfNine = With(
        With(With(youngEight, 2, Silent(50, 9, 0)), 5, Answered(40, 9, 0)), 6, Silent(60, 9, 0));
    // ... and the same three inside the grace, the first to pass it the sixth.
    const std::vector<PipeInstanceView> threeYoungOfNine =
        With(With(With(youngEight, 2, Silent(50, 9, kNow)), 5, Answered(40, 9, kNow - 100)), 6,
             Silent(60, 9, kNow));
    const Case cases[] = {
        {"an instance is free", Crowd(Listening()), kNone, kPipeNever},
        {"a client is already leaving", Crowd(Leaving(Silent(1, 5, 0))), kNone, kPipeNever},
        {"all young: look again when the first grace ends", youngEight, kNone, kYoungEnd},
        {"silent past the grace", Crowd(Silent(1, 5, kNow - 300)), 7, kNow},
        {"silent just inside the grace", Crowd(Silent(1, 5, kNow - 299)), kNone, kNow + 1},
        {"the oldest of two past the grace",
         With(Crowd(Silent(2, 5, kNow - 400)), 3, Silent(1, 6, kNow - 301)), 3, kNow},
        {"answer untaken past the grace", Crowd(Answered(1, 5, kNow - 300)), 7, kNow},
        {"answer being taken, connected long ago", Crowd(Answered(1, 5, kNow - 50)), kNone,
         kNow + 250},
        {"an answer's write already cancelled", Crowd(Leaving(Answered(1, 5, 0))), kNone,
         kPipeNever},
        {"a client connecting as the stop came", Crowd([] {
             PipeInstanceView view;
             view.phase = PipePhase::kListenCancelled;
             return view;
         }()),
         kNone, kPipeNever},
        {"an instance stuck is no room", Crowd([] {
             PipeInstanceView view;
             view.phase = PipePhase::kStuck;
             return view;
         }()),
         kNone, kYoungEnd},
        {"a request waiting its turn is never let go", Crowd(Queued(1, 5)), kNone, kYoungEnd},
        {"three of one process past the grace: its oldest goes", threeOfNine, 5, kNow},
        {"over the cap goes before an older client past the grace",
         With(threeOfNine, 0, Silent(1, 5, 0)), 5, kNow},
        {"over the cap, its oldest queued: its next oldest", With(threeOfNine, 1, Queued(30, 9)), 5,
         kNow},
        {"over the cap but inside the grace: nobody else, not yet",
         With(threeYoungOfNine, 0, Silent(1, 5, 0)), kNone, kNow + 200},
        {"over the cap with only a queued request: the grace for all",
         With(With(With(With(youngEight, 0, Silent(1, 5, 0)), 2, Queued(50, 9)), 5, Queued(40, 9)),
              6, Queued(60, 9)),
         0, kNow},
        {"three of one process, all inside the grace: nobody yet", threeYoungOfNine, kNone,
         kNow + 200},
        {"two of one process are within the cap", With(youngEight, 2, Silent(50, 12, kNow)), kNone,
         kYoungEnd},
        {"unknown processes are never counted together",
         With(With(With(youngEight, 2, Silent(50, 0, kNow)), 5, Silent(40, 0, kNow)), 6,
              Silent(60, 0, kNow)),
         kNone, kYoungEnd},
    };
    for (const Case& c : cases) {
        const PipeRoomChoice choice = ChooseClientToLetGo(c.instances, kNow, kRules);
        EXPECT_EQ(choice.letGo ? choice.index : kNone, c.letGo) << c.name;
        EXPECT_EQ(choice.lookAgainAt, c.lookAgainAt) << c.name;
    }
}

}  // namespace
}  // namespace velk
