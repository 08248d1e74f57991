// Helpers shared by the update steps: package paths, the file copy to the device, and the
// firmware-upgrade run with its progress polls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "workflow/update_context.h"
#include "workflow/wait_until.h"

namespace vantel3 {

// packageDir + "/" + name; 0 when the path would exceed the path limit.
[[nodiscard]] int PackagePath(const UpdateServices& services, std::string_view name,
                              std::string& out);

// Copies a package file to a device path: the package file must exist, an old device file is
// deleted first, then the copy. No retries. 1 on success, 0 on any failure.
[[nodiscard]] int CopyFileToDevice(FileSystem& fs, const std::string& packageFile,
                                   const std::string& devicePath);

// WaitUntil on the run's clock, with the wait's start and end in the run's log: `what` names
// what is awaited ("device drive"); the end tells whether the condition held or the limit
// ran out, and after how long. Same result as WaitUntil.
[[nodiscard]] int WaitFor(UpdateServices& services, const char* what, void* context,
                          uint32_t timeoutMs, Predicate predicate, uint32_t pollMs);

// The device as the run now sees it, in the run's log: drive, model, generation and what its
// version file said of the Bluetooth update (the file's text is logged as it is read).
void LogDevice(const UpdateContext& context, UpdateServices& services);

// No change of the library's progress for this long counts as a failed upgrade.
inline constexpr uint32_t kDfuProgressStallMs = 120000;

// Starts the upgrade with the package's Bluetooth image over the open firmware-upgrade
// connection, reports every progress poll (the low 8 bits of the library's value) through
// `report`, pausing 1000 ms after each, until the library reports 100 or more; then checks
// the result and disconnects. 1 when all of it succeeded, 0 at the first failure (no
// disconnect is attempted after a failure). Every library call goes to the run's log with
// its arguments and result, the progress only when it changes.
[[nodiscard]] int RunDfuUpgrade(const DfuApi& api, UpdateServices& services,
                                const std::function<void(uint8_t percent)>& report);

}  // namespace vantel3
