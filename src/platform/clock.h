// Millisecond clock and sleeps: the only source of time for the update steps.
// The steady clock runs in real time; the virtual clock makes a sleep advance time at once,
// so a whole update (minutes of device waits) runs in milliseconds in a test.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace vantel3 {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary origin; wraps around like an unsigned 32-bit counter.
  virtual uint32_t NowMs() = 0;
  // Blocks (or, on a virtual clock, advances time) for about `ms` milliseconds.
  virtual void SleepMs(uint32_t ms) = 0;
};

// Real elapsed time (std::chrono::steady_clock), optionally sped up: with a speed of N,
// time runs N times as fast and a sleep of `ms` takes ms / N of real time.
class SteadyClock final : public Clock {
 public:
  explicit SteadyClock(double speed = 1.0);
  uint32_t NowMs() override;
  void SleepMs(uint32_t ms) override;

 private:
  double speed_;
  int64_t originNs_;
};

// Time that moves only when someone sleeps on it. Thread-safe: a test may read it from
// another thread. Scheduled actions run (on the sleeping thread) once time reaches them,
// which is how a simulated user "clicks Next" at a given moment.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(uint32_t startMs = 0);
  uint32_t NowMs() override;
  void SleepMs(uint32_t ms) override;

  // Advances time by `ms` without a sleeper, running due actions.
  void Advance(uint64_t ms);
  // Total virtual milliseconds that passed since construction (never wraps).
  uint64_t ElapsedMs();
  // Runs `action` once the elapsed time reaches `atElapsedMs` (at once if it already has).
  void ScheduleAt(uint64_t atElapsedMs, std::function<void()> action);
  // Makes every NowMs() call itself take `ms` of virtual time (models a slow predicate).
  void SetCostPerRead(uint32_t ms);

 private:
  void RunDue();

  std::mutex mutex_;
  uint32_t startMs_;
  uint64_t elapsedMs_ = 0;
  uint32_t costPerRead_ = 0;
  struct Scheduled {
    uint64_t at;
    std::function<void()> action;
  };
  std::vector<Scheduled> scheduled_;
};

// Calendar time, for the time stamps of the run log only: the steps never read it.
class WallClock {
 public:
  virtual ~WallClock() = default;
  // Milliseconds since 1970-01-01 00:00:00 UTC.
  virtual int64_t UtcMs() = 0;
};

// The system's calendar clock (std::chrono::system_clock).
class SystemWallClock final : public WallClock {
 public:
  int64_t UtcMs() override;
};

}  // namespace vantel3
