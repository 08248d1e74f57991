// The first step of every run: look for a device left in firmware-upgrade mode, lead the
// user through connecting the cable, Next, and switching the device to update mode, wait for
// its drive, check the package, and read the device's version file.
#pragma once

#include "workflow/step_ui.h"
#include "workflow/update_context.h"

namespace vantel3 {

// Where the Next button goes: 150 x 40 pixels at 96 dots per inch (scaled by the densities,
// rounded), centred across the client area, 20 pixels (scaled) below the label.
PixelRect ComputeNextButtonRect(int dpiX, int dpiY, const PixelRect& client,
                                const PixelRect& label);

// 0: the device drive is known, the package passed its check and the version file was read.
// -1: failure, already shown. -2: a firmware-upgrade device is connected and open.
[[nodiscard]] int ConnectDevice(UpdateContext& context, UpdateServices& services, StepUi& ui);

}  // namespace vantel3
