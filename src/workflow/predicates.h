// The conditions the steps wait for, each shaped for WaitUntil: the device drive present or
// gone, the firmware-upgrade device answering, the Next click, a path gone, a drive writable.
#pragma once

#include <string>

#include "workflow/update_context.h"
#include "workflow/wait_until.h"

namespace vantel3 {

// Context: std::string*. Holds when a device drive is found; its root is then in the string.
Predicate IsDrivePresent(VolumeSource& volumes);
// Context: std::string*. Holds when no device drive is found; while one is, the string is
// rewritten with its root.
Predicate IsDriveAbsent(VolumeSource& volumes);
// Context ignored. Holds when the firmware-upgrade device connects; it stays open. The
// library's calls go to `log` (see PolledCallLog).
Predicate IsDfuDevicePresent(const DfuApi& api, EventLog& log = NoEventLog());
// Context: std::string* (deviceRoot). Clears it, then holds when a device drive is found (its
// root refills the string) or, failing that, when after a disconnect the firmware-upgrade
// device connects (the string stays empty).
Predicate IsDriveOrDfuDevicePresent(VolumeSource& volumes, const DfuApi& api,
                                    EventLog& log = NoEventLog());
// Context ignored. Holds once the Next button has been answered: clicked, or no click can
// come any more (`kNextNeverAnswered`).
Predicate IsNextPressed(const UpdateContext& context);
// Context: const std::string* path. Holds when it is null or nothing exists there.
Predicate IsPathMissing(FileSystem& fs);
// Context: const std::string* root. Holds when the drive accepts a folder.
Predicate IsDriveWritablePredicate(FileSystem& fs);

// The firmware-upgrade device's connect, with the fixed ids; 1 when it answers. The library's
// own result goes to `libraryResult` when given.
[[nodiscard]] int ConnectDfuDevice(const DfuApi& api, int32_t* libraryResult = nullptr);

// "hidDfuConnect(0x0A12, 0xFFFE, 1, 0xFF00)": the connect call as the log shows it.
std::string DfuConnectCallText();

// A library call repeated at every poll of a wait: the first call is logged, later ones only
// when their result differs from the one before, saying how often that one came, so a wait
// of hours leaves a few lines instead of thousands.
class PolledCallLog {
 public:
  void Record(EventLog& log, const std::string& call, int32_t result);

 private:
  bool any_ = false;
  int32_t last_ = 0;
  unsigned long repeats_ = 0;
};

}  // namespace vantel3
