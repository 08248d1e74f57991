// The person in front of the screen, played from a scenario on the virtual clock, where no
// real person could answer in time: clicks Next the scenario's delay after the button shows,
// and answers each run's end view with Retry or Exit. Shared by every front end; each one
// supplies how a click reaches its screen.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/clock.h"
#include "sim/scenario.h"

namespace vantel3 {

class ScriptedUser {
 public:
  ScriptedUser(VirtualClock& clock, SimulatedUser user) : clock_(clock), user_(std::move(user)) {}

  // The Next button was shown (worker thread): `click` runs the scenario's delay later, on
  // the clock, unless the button is hidden or shown again first. A scenario whose user never
  // clicks schedules nothing.
  void NextShown(std::function<void()> click);
  // The Next button was hidden: a click not yet made is dropped.
  void NextHidden() { ++nextToken_; }
  // Whether the person answers Retry at the end of run `run` (counted from 0).
  [[nodiscard]] bool WantsRetry(std::size_t run) const {
    return user_.AnswerForRun(run) == EndAnswer::kRetry;
  }

 private:
  VirtualClock& clock_;
  SimulatedUser user_;
  // Each show of the button gets a token, so a click scheduled for an earlier show that timed
  // out cannot land in a later one.
  std::atomic<uint64_t> nextToken_{0};
};

}  // namespace vantel3
