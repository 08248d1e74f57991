// The first stage for a first-generation device: both firmware images and "update_go" on its
// drive, then wait until the device restarts (its drive goes away).
#pragma once

#include "workflow/step_ui.h"
#include "workflow/update_context.h"

namespace vantel3 {

// 0 when the drive has gone after the marker was written; -1 after a failure, shown.
[[nodiscard]] int TransferFirstStage(UpdateContext& context, UpdateServices& services, StepUi& ui);

}  // namespace vantel3
