// The bulk of an update: images, Music and (for the device's own Bluetooth update) the
// Bluetooth image on the first drive; the device's switch to its system drive; locale, brl
// and Daisy there; then our own Bluetooth upgrade or a timed wait while the device works.
#pragma once

#include "workflow/step_ui.h"
#include "workflow/update_context.h"

namespace vantel3 {

// Progress of a timed wait of `ticks` ticks after tick `k` (1-based): 60 to 100.
int TimedWaitProgress(int k, int ticks);

// 0 when the update has been handed over to the device (and our own Bluetooth upgrade, where
// there is one, has finished); -1 after a failure, shown.
[[nodiscard]] int RunMainUpdate(UpdateContext& context, UpdateServices& services, StepUi& ui);

}  // namespace vantel3
