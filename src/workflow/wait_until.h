// The polling wait every step rests on: call a predicate at a fixed interval until it holds
// or a time limit passes, sleeping 1 ms per turn. There are no events: the device is seen
// only through its drives and the firmware-upgrade library, and the user through a flag.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/clock.h"

namespace vantel3 {

// A condition polled by WaitUntil: gets the wait's context pointer, nonzero when it holds.
using Predicate = std::function<int(void* context)>;

inline constexpr uint32_t kNoTimeLimit = 0xFFFFFFFFu;

// Returns 1 when `predicate` returned nonzero, 0 when `timeoutMs` ran out (at once for 0).
// The predicate is first called only after more than `pollMs` has passed, and again more
// than `pollMs` after the previous call returned; time spent inside it counts towards the
// limit. Times are unsigned 32-bit and survive the clock's wrap. The predicate is destroyed
// before WaitUntil returns.
[[nodiscard]] int WaitUntil(Clock& clock, void* context, uint32_t timeoutMs, Predicate predicate,
                            uint32_t pollMs);

}  // namespace vantel3
