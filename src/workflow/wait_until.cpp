#include "workflow/wait_until.h"

#include <utility>

namespace vantel3 {

int WaitUntil(Clock& clock, void* context, uint32_t timeoutMs, Predicate predicate,
              uint32_t pollMs) {
  // Owned here and released on every path out.
  Predicate condition = std::move(predicate);
  const uint32_t start = clock.NowMs();
  uint32_t lastPoll = start;
  uint32_t lastTick = start;
  // Counted in 64 bits so that a wait with no practical limit ends at 2^32 - 1 ms instead of
  // wrapping back to zero and waiting for ever.
  uint64_t elapsed = 0;
  int result = 0;
  if (timeoutMs != 0) {
    for (;;) {
      const uint32_t now = clock.NowMs();
      if (static_cast<uint32_t>(now - lastPoll) > pollMs) {
        if (condition(context) != 0) {
          result = 1;
          break;
        }
        lastPoll = clock.NowMs();  // the interval counts from the end of the call
      }
      elapsed += static_cast<uint32_t>(clock.NowMs() - lastTick);
      lastTick = clock.NowMs();
      clock.SleepMs(1);
      if (elapsed >= timeoutMs) break;
    }
  }
  condition = nullptr;
  return result;
}

}  // namespace vantel3
