// The one record of an update run, shared by the steps, and the platform services the
// steps use. One context exists per process in the program, one per test in the tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>

#include "dfu/dfu_api.h"
#include "fsops/read_back.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/program_path.h"
#include "platform/volume_source.h"
#include "workflow/event_log.h"

namespace vantel3 {

// Values of `UpdateContext::nextPressed` besides 0.
inline constexpr int32_t kNextClicked = 1;
// The front end can take no click any more (a terminal whose input has ended): the wait for
// Next ends at once and counts as not pressed, instead of sitting out its limit.
inline constexpr int32_t kNextNeverAnswered = -1;

struct UpdateContext {
  // Root of the device's removable drive with its trailing "/"; empty when none is known.
  std::string deviceRoot;
  // Firmware version the package installs (shown in the failure text).
  std::string targetVersion;
  // Bluetooth firmware version the package installs.
  std::string btVersion;
  // The bound firmware-upgrade library; filled once before the first worker starts.
  DfuApi dfuApi;
  // 1 = first generation (needs the first-stage transfer), 2 = second, 0 = no version file.
  uint8_t generation = 1;
  // 0 = none detected, 1 = VO3, 2 = RU3R.
  uint8_t model = 0;
  // 1 unless the device reports the package's Bluetooth version.
  int32_t btUpdateNeeded = 1;
  // 1 when the Bluetooth firmware goes through the firmware-upgrade library, 0 when the
  // device flashes it itself from "firmware.dfu".
  int32_t btUpdateOverUsb = 1;
  // 1 when a second-generation version file was found on the drive.
  int32_t versionFile2Found = 0;
  // The answer to the Next button: 0 while none has come, kNextClicked when it was pressed,
  // kNextNeverAnswered when no answer can come any more. Set by the front end (the window's
  // user-interface thread, the terminal's input); cleared and polled by the worker.
  std::atomic<int32_t> nextPressed{0};
  // The most recently started worker (the window's; the text front end runs its worker on
  // the main thread). Started and collected only by the user-interface thread.
  std::thread workerThread;
};

// The outside world as the steps reach it.
struct UpdateServices {
  UpdateServices(Clock& clock, FileSystem& fs, VolumeSource& volumes, ProgramPath& programPath,
                 std::string packageDir = "./data", EventLog& log = NoEventLog())
      : clock(clock),
        fs(fs),
        volumes(volumes),
        programPath(programPath),
        packageDir(std::move(packageDir)),
        log(log) {}

  Clock& clock;
  FileSystem& fs;
  VolumeSource& volumes;
  ProgramPath& programPath;
  // The package folder; "./data", relative to the current directory, in a real run.
  std::string packageDir;
  // The run's log; the steps add what their services cannot show (waits, the device's
  // version file, the library's calls).
  EventLog& log;
  // Every copy onto a drive is read back from the medium and compared with the package
  // before the drive is handed over (off: --no-verify).
  bool verifyCopies = true;
  // Told of every file checked, and of every copy left unchecked when checks are off.
  ReadBackObserver onCopyChecked;
};

}  // namespace vantel3
