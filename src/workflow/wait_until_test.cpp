#include "workflow/wait_until.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantel3 {
namespace {

// Records the virtual time of every predicate call and answers from a schedule.
struct Probe {
  Probe(VirtualClock& c, uint64_t trueFrom) : clock(c), trueFromMs(trueFrom) {}
  VirtualClock& clock;
  uint64_t trueFromMs;
  std::vector<uint64_t> calls;
  uint32_t costMs = 0;

  Predicate Make() {
    return [this](void*) {
      calls.push_back(clock.ElapsedMs());
      clock.Advance(costMs);
      return clock.ElapsedMs() >= trueFromMs ? 1 : 0;
    };
  }
};

TEST(WaitUntilTest, ZeroTimeoutNeverCallsThePredicate) {
  VirtualClock clock;
  Probe probe{clock, 0};
  EXPECT_EQ(WaitUntil(clock, nullptr, 0, probe.Make(), 10), 0);
  EXPECT_TRUE(probe.calls.empty());
  EXPECT_EQ(clock.ElapsedMs(), 0u);
}

TEST(WaitUntilTest, FirstCallComesOnlyAfterMoreThanThePollInterval) {
  VirtualClock clock;
  Probe probe{clock, 0};
  EXPECT_EQ(WaitUntil(clock, nullptr, 60000, probe.Make(), 200), 1);
  ASSERT_EQ(probe.calls.size(), 1u);
  EXPECT_EQ(probe.calls[0], 201u);
}

TEST(WaitUntilTest, LaterCallsCountTheIntervalFromTheEndOfThePreviousCall) {
  VirtualClock clock;
  Probe probe{clock, 5000};
  probe.costMs = 300;
  EXPECT_EQ(WaitUntil(clock, nullptr, 60000, probe.Make(), 1000), 1);
  ASSERT_GE(probe.calls.size(), 2u);
  // 1001 (+300 inside) -> next after more than 1000 from 1301.
  EXPECT_EQ(probe.calls[0], 1001u);
  EXPECT_EQ(probe.calls[1], 2302u);
}

TEST(WaitUntilTest, TimesOutWhenThePredicateNeverHolds) {
  VirtualClock clock;
  Probe probe{clock, UINT64_MAX};
  EXPECT_EQ(WaitUntil(clock, nullptr, 60000, probe.Make(), 1000), 0);
  EXPECT_EQ(probe.calls.size(), 59u);  // every ~1001 ms within 60 s
  EXPECT_GE(clock.ElapsedMs(), 60000u);
  EXPECT_LT(clock.ElapsedMs(), 60010u);
}

TEST(WaitUntilTest, EqualTimeoutAndIntervalGiveTheLoneCallNoChanceOnAFineClock) {
  VirtualClock clock;
  Probe probe{clock, 0};
  EXPECT_EQ(WaitUntil(clock, nullptr, 1000, probe.Make(), 1000), 0);
  EXPECT_TRUE(probe.calls.empty());
  // A limit a little past the interval guarantees exactly one look.
  EXPECT_EQ(WaitUntil(clock, nullptr, 1500, probe.Make(), 1000), 1);
  EXPECT_EQ(probe.calls.size(), 1u);
}

TEST(WaitUntilTest, TimeSpentInsideThePredicateCountsTowardsTheLimit) {
  VirtualClock clock;
  Probe probe{clock, UINT64_MAX};
  probe.costMs = 10000;  // blocks far longer than the remaining time
  EXPECT_EQ(WaitUntil(clock, nullptr, 5000, probe.Make(), 200), 0);
  EXPECT_EQ(probe.calls.size(), 1u);
  EXPECT_LT(clock.ElapsedMs(), 10300u);
}

TEST(WaitUntilTest, SurvivesTheClockWrappingPastUnsigned32) {
  VirtualClock clock(0xFFFFFFFFu - 500);
  Probe probe{clock, 3000};
  EXPECT_EQ(WaitUntil(clock, nullptr, 10000, probe.Make(), 1000), 1);
  EXPECT_EQ(probe.calls.size(), 3u);
}

TEST(WaitUntilTest, NoLimitWaitsUntilThePredicateHolds) {
  VirtualClock clock;
  Probe probe{clock, 600000};
  EXPECT_EQ(WaitUntil(clock, nullptr, kNoTimeLimit, probe.Make(), 1000), 1);
  EXPECT_GE(clock.ElapsedMs(), 600000u);
}

TEST(WaitUntilTest, HandsTheContextToEveryCall) {
  VirtualClock clock;
  int target = 0;
  int calls = 0;
  EXPECT_EQ(WaitUntil(
                clock, &target, 10000,
                [&](void* context) {
                  ++calls;
                  return context == &target && calls == 2 ? 1 : 0;
                },
                100),
            1);
}

}  // namespace
}  // namespace vantel3
