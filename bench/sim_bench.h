// The simulated update as the benchmarks run it: a workspace with a 50 MB package, and one
// whole update in it on the virtual clock.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/clock.h"
#include "sim/sim_workspace.h"

namespace vantel3::bench {

// A workspace for the default scenario with the package's content folders filled up (the
// package's size in `packageBytes`). Null when it cannot be made.
std::unique_ptr<SimWorkspace> MakeWorkspace(VirtualClock& clock, int64_t& packageBytes);

// One update run as the text front end drives it, its screen output dropped; copies read
// back before each hand-over when `verifyCopies`. True when it ended in success.
bool RunUpdate(SimWorkspace& workspace, VirtualClock& clock, bool verifyCopies);

}  // namespace vantel3::bench
