// Keeps the computer awake while a device is being updated: a lock that asks the system not to
// sleep, suspend or go idle, its systemd-logind and do-nothing forms, and a guard for a scope.
#pragma once

#include <memory>
#include <string>

namespace vantel3 {

class SleepInhibitor {
 public:
  virtual ~SleepInhibitor() = default;
  // Asks the system to hold off sleep and idle actions. Returns 1 when the lock is held
  // (already held: the lock is shared, and each 1 needs its own Release), 0 when the system
  // does not grant one (no system bus, no logind, refused); 0 leaves nothing held and costs
  // the caller nothing, since an update runs as well without the lock.
  [[nodiscard]] virtual int Acquire() = 0;
  // Gives back one Acquire that returned 1; the lock ends with the last. Nothing when none
  // is held.
  virtual void Release() = 0;
};

// Holds nothing: Acquire returns 0. For platforms without a sleep lock and for simulated runs.
class NoSleepInhibitor final : public SleepInhibitor {
 public:
  int Acquire() override { return 0; }
  void Release() override {}
};

// systemd-logind's inhibitor lock, "sleep:idle" in "block" mode, taken through
// org.freedesktop.login1.Manager.Inhibit on the system bus. The lock lasts while the file
// descriptor that logind hands back stays open. Used from one thread at a time.
class LogindSleepInhibitor final : public SleepInhibitor {
 public:
  // `busAddress` empty: the system bus. Otherwise a D-Bus address (such as
  // "unix:path=/run/dbus/system_bus_socket") to use instead.
  explicit LogindSleepInhibitor(std::string busAddress = "");
  ~LogindSleepInhibitor() override;
  LogindSleepInhibitor(const LogindSleepInhibitor&) = delete;
  LogindSleepInhibitor& operator=(const LogindSleepInhibitor&) = delete;

  int Acquire() override;
  void Release() override;

 private:
  std::string busAddress_;
  int fd_ = -1;
  int holders_ = 0;
};

// The sleep lock of this system: logind's on Linux, else one that holds nothing.
std::unique_ptr<SleepInhibitor> MakeSystemSleepInhibitor();

// Holds the lock from construction to the end of its scope, and releases only what it took.
class SleepInhibitGuard {
 public:
  explicit SleepInhibitGuard(SleepInhibitor& inhibitor)
      : inhibitor_(inhibitor), held_(inhibitor.Acquire()) {}
  ~SleepInhibitGuard() {
    if (held_ == 1) inhibitor_.Release();
  }
  SleepInhibitGuard(const SleepInhibitGuard&) = delete;
  SleepInhibitGuard& operator=(const SleepInhibitGuard&) = delete;

  // 1 when this guard holds the lock, 0 when the system gave none.
  [[nodiscard]] int held() const { return held_; }

 private:
  SleepInhibitor& inhibitor_;
  int held_;
};

}  // namespace vantel3
