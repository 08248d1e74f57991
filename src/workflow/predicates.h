// The conditions the steps wait for, each shaped for WaitUntil: the device drive present or
// gone, the firmware-upgrade device answering, the Next click, a path gone, a drive writable.
#pragma once

#include "workflow/update_context.h"
#include "workflow/wait_until.h"

namespace vantel3 {

// Context: std::string*. Holds when a device drive is found; its root is then in the string.
Predicate IsDrivePresent(VolumeSource& volumes);
// Context: std::string*. Holds when no device drive is found; while one is, the string is
// rewritten with its root.
Predicate IsDriveAbsent(VolumeSource& volumes);
// Context ignored. Holds when the firmware-upgrade device connects; it stays open.
Predicate IsDfuDevicePresent(const DfuApi& api);
// Context: std::string* (deviceRoot). Clears it, then holds when a device drive is found (its
// root refills the string) or, failing that, when after a disconnect the firmware-upgrade
// device connects (the string stays empty).
Predicate IsDriveOrDfuDevicePresent(VolumeSource& volumes, const DfuApi& api);
// Context ignored. Holds once the Next button has been answered: clicked, or no click can
// come any more (`kNextNeverAnswered`).
Predicate IsNextPressed(const UpdateContext& context);
// Context: const std::string* path. Holds when it is null or nothing exists there.
Predicate IsPathMissing(FileSystem& fs);
// Context: const std::string* root. Holds when the drive accepts a folder.
Predicate IsDriveWritablePredicate(FileSystem& fs);

// The firmware-upgrade device's connect, with the fixed ids; 1 when it answers.
[[nodiscard]] int ConnectDfuDevice(const DfuApi& api);

}  // namespace vantel3
