// Bringing the device's Bluetooth part back on track after an update that did not complete:
// reflashing a device left in firmware-upgrade mode, and switching the device to its own
// (UART) Bluetooth update after our upgrade failed in an earlier run ("fa.bin").
#pragma once

#include "workflow/step_ui.h"
#include "workflow/update_context.h"

namespace vantel3 {

// Reflashes the Bluetooth part over the open firmware-upgrade connection, showing the
// library's percentage on the restore view. 0 on success; -1 after "DFU restore failed".
[[nodiscard]] int RestoreInterruptedDfu(UpdateContext& context, UpdateServices& services,
                                        StepUi& ui);

// When "fa.bin" exists beside the program, rewrites the device version file's "df" value to
// "uart" and then removes the marker. Any failure leaves the marker for the next run.
void ApplyUartFallback(UpdateContext& context, UpdateServices& services);

}  // namespace vantel3
