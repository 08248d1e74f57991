#include "platform/sleep_inhibitor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform_test_dir.h"

#if defined(__linux__)
#include <systemd/sd-bus.h>
#include <unistd.h>
#endif

namespace vantel3 {
namespace {

// Grants or refuses the lock as told, and counts who holds it.
class FakeSleepInhibitor final : public SleepInhibitor {
 public:
  explicit FakeSleepInhibitor(int grant) : grant_(grant) {}
  int Acquire() override {
    ++acquireCalls;
    if (grant_ == 1) ++holders;
    return grant_;
  }
  void Release() override {
    ++releaseCalls;
    --holders;
  }
  int acquireCalls = 0;
  int releaseCalls = 0;
  int holders = 0;

 private:
  int grant_;
};

TEST(SleepInhibitGuardTest, HoldsTheLockForItsScopeAndReleasesOnlyWhatItTook) {
  struct Case {
    const char* name;
    int grant;
    int heldInScope;
    int releasesAfter;
  };
  const Case cases[] = {
      {"granted", 1, 1, 1},
      {"refused: nothing to give back", 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSleepInhibitor fake(c.grant);
    {
      SleepInhibitGuard guard(fake);
      EXPECT_EQ(guard.held(), c.heldInScope);
      EXPECT_EQ(fake.acquireCalls, 1);
      EXPECT_EQ(fake.releaseCalls, 0);
      EXPECT_EQ(fake.holders, c.heldInScope);
    }
    EXPECT_EQ(fake.acquireCalls, 1);
    EXPECT_EQ(fake.releaseCalls, c.releasesAfter);
    EXPECT_EQ(fake.holders, 0);
  }
}

TEST(SleepInhibitGuardTest, AnInnerGuardLeavesTheOuterOneHolding) {
  FakeSleepInhibitor fake(1);
  SleepInhibitGuard outer(fake);
  {
    SleepInhibitGuard inner(fake);
    EXPECT_EQ(fake.holders, 2);
  }
  EXPECT_EQ(fake.holders, 1);
  EXPECT_EQ(fake.releaseCalls, 1);
}

#if defined(__linux__)
TEST(LogindSleepInhibitorTest, NoBusMeansNoLockAndNoHarm) {
  PlatformTestDir dir;
  LogindSleepInhibitor inhibitor("unix:path=" + (dir / "no-bus-here").string());
  EXPECT_EQ(inhibitor.Acquire(), 0);
  inhibitor.Release();  // nothing held: must not close anything or go negative
  EXPECT_EQ(inhibitor.Acquire(), 0);
  {
    SleepInhibitGuard guard(inhibitor);
    EXPECT_EQ(guard.held(), 0);
  }
}

// Whether systemd-logind answers on the system bus of this machine.
bool LogindIsThere(std::string& why) {
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) {
    why = "no system bus here";
    return false;
  }
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int hasOwner = 0;
  const int r = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                                   "org.freedesktop.login1");
  if (r >= 0) (void)sd_bus_message_read(reply, "b", &hasOwner);
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  if (hasOwner == 0) why = "no systemd-logind on the system bus here";
  return hasOwner != 0;
}

// The inhibitor locks that logind lists for this process under our name.
int OurLocksListed() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return -1;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int count = -1;
  if (sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                         "org.freedesktop.login1.Manager", "ListInhibitors", &error, &reply,
                         "") >= 0 &&
      sd_bus_message_enter_container(reply, 'a', "(ssssuu)") >= 0) {
    count = 0;
    const char *what, *who, *why, *mode;
    uint32_t uid = 0, pid = 0;
    while (sd_bus_message_read(reply, "(ssssuu)", &what, &who, &why, &mode, &uid, &pid) > 0) {
      if (pid == static_cast<uint32_t>(getpid()) && std::string(who) == "Vantel3 Update tool" &&
          std::string(why) == "A Vantel 3 device is being updated" &&
          std::string(what) == "sleep:idle" && std::string(mode) == "block") {
        ++count;
      }
    }
  }
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  return count;
}

TEST(LogindSleepInhibitorTest, TakesOneLockFromLogindAndEndsItWithTheLastRelease) {
  std::string why;
  if (!LogindIsThere(why)) GTEST_SKIP() << "logind's lock cannot be tested: " << why;
  LogindSleepInhibitor inhibitor;
  ASSERT_EQ(inhibitor.Acquire(), 1);
  EXPECT_EQ(OurLocksListed(), 1);
  ASSERT_EQ(inhibitor.Acquire(), 1);
  EXPECT_EQ(OurLocksListed(), 1) << "a second holder shares the lock";
  inhibitor.Release();
  EXPECT_EQ(OurLocksListed(), 1) << "one holder is left";
  inhibitor.Release();
  EXPECT_EQ(OurLocksListed(), 0);
}

#endif  // __linux__

}  // namespace
}  // namespace vantel3
