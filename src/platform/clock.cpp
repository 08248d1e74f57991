#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace vantel3 {

namespace {
int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

SteadyClock::SteadyClock(double speed) : speed_(speed > 0 ? speed : 1.0), originNs_(SteadyNs()) {}

uint32_t SteadyClock::NowMs() {
  const double ms = static_cast<double>(SteadyNs() - originNs_) * speed_ / 1e6;
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

void SteadyClock::SleepMs(uint32_t ms) {
  const auto ns = static_cast<int64_t>(static_cast<double>(ms) * 1e6 / speed_);
  std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
}

VirtualClock::VirtualClock(uint32_t startMs) : startMs_(startMs) {}

uint32_t VirtualClock::NowMs() {
  uint32_t now;
  {
    std::lock_guard lock(mutex_);
    now = static_cast<uint32_t>(startMs_ + elapsedMs_);
    elapsedMs_ += costPerRead_;
  }
  if (costPerRead_ != 0) RunDue();
  return now;
}

void VirtualClock::SleepMs(uint32_t ms) {
  Advance(ms);
}

void VirtualClock::Advance(uint64_t ms) {
  {
    std::lock_guard lock(mutex_);
    elapsedMs_ += ms;
  }
  RunDue();
}

uint64_t VirtualClock::ElapsedMs() {
  std::lock_guard lock(mutex_);
  return elapsedMs_;
}

void VirtualClock::ScheduleAt(uint64_t atElapsedMs, std::function<void()> action) {
  {
    std::lock_guard lock(mutex_);
    scheduled_.push_back({atElapsedMs, std::move(action)});
  }
  RunDue();
}

void VirtualClock::SetCostPerRead(uint32_t ms) {
  std::lock_guard lock(mutex_);
  costPerRead_ = ms;
}

void VirtualClock::RunDue() {
  // Actions run outside the lock, so they may read the clock or schedule more.
  for (;;) {
    std::function<void()> action;
    {
      std::lock_guard lock(mutex_);
      if (scheduled_.empty()) return;
      auto due =
          std::min_element(scheduled_.begin(), scheduled_.end(),
                           [](const Scheduled& a, const Scheduled& b) { return a.at < b.at; });
      if (due->at > elapsedMs_) return;
      action = std::move(due->action);
      scheduled_.erase(due);
    }
    action();
  }
}

int64_t SystemWallClock::UtcMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace vantel3
