#include "platform/sleep_inhibitor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform_test_dir.h"

#if defined(__linux__)
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
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

// A stand-in for the system bus with logind on it, at a socket of its own: it answers the
// bus handshake (Hello) and Inhibit, handing out the write end of a pipe as the lock, so the
// test sees from the read end when the last copy of the lock is closed.
class FakeLogindBus {
 public:
  FakeLogindBus(const std::filesystem::path& socketPath, bool refuse) : refuse_(refuse) {
    address = "unix:path=" + socketPath.string();
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::snprintf(sa.sun_path, sizeof sa.sun_path, "%s", socketPath.c_str());
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        listen(listenFd_, 4) != 0) {
      ADD_FAILURE() << "cannot listen on " << socketPath;
    }
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeLogindBus() {
    stop_ = true;
    shutdown(listenFd_, SHUT_RDWR);
    thread_.join();
    close(listenFd_);
    for (int fd : lockReadEnds) close(fd);
  }

  // 1 once every copy of the lock handed out as number `index` is closed, 0 while one is open.
  int LockEnded(std::size_t index) {
    std::lock_guard<std::mutex> lock(mutex);
    pollfd p{lockReadEnds.at(index), POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0 ? 1 : 0;
  }

  std::string address;
  std::mutex mutex;
  std::vector<std::vector<std::string>> calls;  // the arguments of each Inhibit
  std::vector<int> lockReadEnds;

 private:
  static int OnHello(sd_bus_message* m, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(m, "s", ":1.42");
  }
  static int OnInhibit(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    auto* self = static_cast<FakeLogindBus*>(userdata);
    const char *what, *who, *why, *mode;
    if (sd_bus_message_read(m, "ssss", &what, &who, &why, &mode) < 0) return -EINVAL;
    std::lock_guard<std::mutex> lock(self->mutex);
    self->calls.push_back({what, who, why, mode});
    if (self->refuse_) {
      return sd_bus_error_set(error, "org.freedesktop.DBus.Error.AccessDenied", "refused");
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return -errno;
    self->lockReadEnds.push_back(ends[0]);
    const int r = sd_bus_reply_method_return(m, "h", ends[1]);  // the reply sends a copy
    close(ends[1]);
    return r;
  }

  void Serve() {
    static const sd_bus_vtable kDbus[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Hello", "", "s", OnHello, 0),
        SD_BUS_VTABLE_END,
    };
    static const sd_bus_vtable kManager[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Inhibit", "ssss", "h", OnInhibit, 0),
        SD_BUS_VTABLE_END,
    };
    while (!stop_) {
      const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) return;
      sd_bus* bus = nullptr;
      sd_id128_t id;
      (void)sd_id128_randomize(&id);
      if (sd_bus_new(&bus) < 0 || sd_bus_set_fd(bus, fd, fd) < 0 ||
          sd_bus_set_server(bus, 1, id) < 0 || sd_bus_negotiate_fds(bus, 1) < 0 ||
          sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                   kDbus, this) < 0 ||
          sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/login1",
                                   "org.freedesktop.login1.Manager", kManager, this) < 0 ||
          sd_bus_start(bus) < 0) {
        ADD_FAILURE() << "the fake bus cannot serve a connection";
        sd_bus_unref(bus);
        close(fd);
        continue;
      }
      // Serve this client until it hangs up.
      for (;;) {
        const int r = sd_bus_process(bus, nullptr);
        if (r < 0) break;
        if (r == 0 && sd_bus_wait(bus, 1'000'000) < 0) break;
        if (stop_) break;
      }
      sd_bus_flush_close_unref(bus);
    }
  }

  bool refuse_;
  int listenFd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(LogindSleepInhibitorTest, HoldsLogindsLockUntilTheLastRelease) {
  PlatformTestDir dir;
  FakeLogindBus bus(dir / "bus", /*refuse=*/false);
  LogindSleepInhibitor inhibitor(bus.address);

  ASSERT_EQ(inhibitor.Acquire(), 1);
  {
    std::lock_guard<std::mutex> lock(bus.mutex);
    ASSERT_EQ(bus.calls.size(), 1u);
    EXPECT_EQ(bus.calls[0],
              (std::vector<std::string>{"sleep:idle", "Vantel3 Update tool",
                                        "A Vantel 3 device is being updated", "block"}));
  }
  EXPECT_EQ(bus.LockEnded(0), 0) << "the lock must outlive the call's reply";
  ASSERT_EQ(inhibitor.Acquire(), 1);
  inhibitor.Release();
  EXPECT_EQ(bus.LockEnded(0), 0) << "one holder is left";
  inhibitor.Release();
  EXPECT_EQ(bus.LockEnded(0), 1);
  inhibitor.Release();  // one too many: nothing happens

  // A new lock after the old one ended.
  {
    SleepInhibitGuard guard(inhibitor);
    EXPECT_EQ(guard.held(), 1);
    EXPECT_EQ(bus.LockEnded(1), 0);
  }
  EXPECT_EQ(bus.LockEnded(1), 1);
  std::lock_guard<std::mutex> lock(bus.mutex);
  EXPECT_EQ(bus.calls.size(), 2u) << "a second holder shares the first lock";
}

TEST(LogindSleepInhibitorTest, ARefusedLockIsNoLock) {
  PlatformTestDir dir;
  FakeLogindBus bus(dir / "bus", /*refuse=*/true);
  LogindSleepInhibitor inhibitor(bus.address);
  EXPECT_EQ(inhibitor.Acquire(), 0);
  inhibitor.Release();
  EXPECT_EQ(inhibitor.Acquire(), 0);
  std::lock_guard<std::mutex> lock(bus.mutex);
  EXPECT_EQ(bus.calls.size(), 2u) << "every Acquire asks again";
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
