// The body of one update run, from the main view to the armed end view, and the end
// view's failure text. Runs on the calling (worker) thread; the screen is reached only
// through StepUi.
#pragma once

#include <string>

#include "workflow/step_ui.h"
#include "workflow/update_context.h"

namespace vantel3 {

// One update run: connection, recovery when the device is found in firmware-upgrade mode,
// the first-stage transfer for a first-generation device, the main update, and the end view
// (success text and Exit, or failure text and Retry). Returns 0 after a success end and -1
// after a failure end; the end view is armed before it is shown in both cases.
[[nodiscard]] int UpdateWorker(UpdateContext& context, UpdateServices& services, StepUi& ui);

// "VANTEL %s version update failed, please try again." with the target version, the
// "Retry" caption and the retry action, set on the end view.
void ShowFailure(UpdateContext& context, StepUi& ui);

}  // namespace vantel3
