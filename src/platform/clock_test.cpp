#include "platform/clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantel3 {
namespace {

TEST(VirtualClockTest, SleepAdvancesTimeAtOnceAndWrapsLikeUnsigned32) {
  VirtualClock clock(0xFFFFFF00u);
  clock.SleepMs(0x200);
  EXPECT_EQ(clock.NowMs(), 0x100u);  // wrapped past 2^32
  EXPECT_EQ(clock.ElapsedMs(), 0x200u);
}

TEST(VirtualClockTest, ScheduledActionsRunInTimeOrderWhenTheirMomentIsReached) {
  VirtualClock clock;
  std::vector<int> ran;
  clock.ScheduleAt(300, [&] { ran.push_back(300); });
  clock.ScheduleAt(100, [&] { ran.push_back(100); });
  clock.SleepMs(99);
  EXPECT_TRUE(ran.empty());
  clock.SleepMs(1);
  EXPECT_EQ(ran, std::vector<int>{100});
  clock.SleepMs(1000);
  EXPECT_EQ(ran, (std::vector<int>{100, 300}));
  clock.ScheduleAt(5, [&] { ran.push_back(5); });  // already past: runs at once
  EXPECT_EQ(ran.back(), 5);
}

TEST(VirtualClockTest, ReadCostMakesEveryReadTakeTime) {
  VirtualClock clock;
  clock.SetCostPerRead(7);
  EXPECT_EQ(clock.NowMs(), 0u);
  EXPECT_EQ(clock.NowMs(), 7u);
}

TEST(SteadyClockTest, SpeedScalesTheReportedTime) {
  SteadyClock fast(1000.0);
  const uint32_t before = fast.NowMs();
  fast.SleepMs(2000);  // two real milliseconds
  EXPECT_GE(fast.NowMs() - before, 2000u);
}

}  // namespace
}  // namespace vantel3
