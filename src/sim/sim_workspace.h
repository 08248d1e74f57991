// A complete playground for one scenario in a temp folder: the package folder with the
// stand-in firmware-upgrade library, the program folder (where "fa.bin" goes), and the
// simulated device with its drives. Front ends and tests run the updater against the
// services it exposes; nothing outside the workspace folder is ever touched.
#pragma once

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/fault_injecting_file_system.h"
#include "platform/file_system.h"
#include "platform/library_loader.h"
#include "platform/program_path.h"
#include "platform/volume_source.h"
#include "sim/scenario.h"
#include "sim/sim_file_system.h"
#include "sim/sim_kill_switch.h"
#include "sim/simulated_device.h"

namespace vantel3 {

struct SimWorkspaceOptions {
  // Use this folder (created when missing; it must be empty) and keep it afterwards.
  // Empty: a new folder under $TMPDIR (or /tmp), removed when the workspace goes.
  std::string keepDir;
  // The built stand-in library to copy into the package; empty: FindSimLibrary().
  std::string libraryPath;
};

// The built stand-in library: $VANTEL3_SIM_LIBRARY when set and present; else
// <folder of the running program>/../lib/vantel3/libhiddfu.so (Windows: hiddfu.dll); else the path
// in the build tree this program was compiled in. Empty when none of them exists.
std::string FindSimLibrary();

class SimWorkspace {
 public:
  // Lays out the workspace for `scenario` on `clock` (which must outlive it). Returns null
  // with `error` when it cannot (folder, library, package); a half-made temp folder is removed.
  static std::unique_ptr<SimWorkspace> Create(const Scenario& scenario, Clock& clock,
                                              const SimWorkspaceOptions& options,
                                              std::string& error);
  // The same with only a folder to keep (empty: a temp folder, removed afterwards).
  static std::unique_ptr<SimWorkspace> Create(const Scenario& scenario, Clock& clock,
                                              const std::string& keepDir, std::string& error);
  // Takes up the workspace that an earlier process left in `dir` (its package and program
  // folders as they are) after the user restarted the device: whatever the earlier run left
  // on the drives stays, the device comes up in normal mode with SD0 mounted and SD1 closed,
  // and what it runs (generation, model, versions, transport) is read from the version file
  // on SD0 (the scenario's values where SD0 holds none). The folder is kept afterwards.
  // Returns null with `error` when `dir` holds no workspace or its drives cannot be found.
  static std::unique_ptr<SimWorkspace> Open(const std::string& dir, const Scenario& scenario,
                                            Clock& clock, std::string& error);
  ~SimWorkspace();
  SimWorkspace(const SimWorkspace&) = delete;
  SimWorkspace& operator=(const SimWorkspace&) = delete;

  // The file system for the updater: ticks the device, refuses writes to a read-only SD1,
  // injects the scenario's faults, and logs every call (see faultFs()).
  FileSystem& fs() { return faultFs_; }
  // The same object, for tests: its call log, and more rules at run time.
  FaultInjectingFileSystem& faultFs() { return faultFs_; }
  VolumeSource& volumes() { return volumes_; }
  // <root>/program/vantel3-updater ("fa.bin" beside it).
  ProgramPath& programPath() { return programPath_; }
  SimulatedDevice& device() { return *device_; }
  // <root>/data, absolute, without a trailing "/".
  std::string packageDir() const { return root_ + "/data"; }
  // <root>/data/libhiddfu.so (Windows: hiddfu.dll; missing when the scenario omits it).
  std::string libraryPath() const;
  // <root>/program/fa.bin.
  std::string programMarkerPath() const { return root_ + "/program/fa.bin"; }
  // The workspace folder, absolute, without a trailing "/".
  std::string root() const { return root_; }
  const Scenario& scenario() const { return scenario_; }
  const SimulatedUser& user() const { return scenario_.user; }

  // Plugs the device into the stand-in library loaded as `module` (from libraryPath(), bound
  // with BindDfuLibrary), through its "vantel3SimAttach" export. Returns 1, or 0 when the
  // module has no such export. The device is unplugged again when the workspace goes.
  [[nodiscard]] int AttachToLibrary(LibraryLoader& loader, void* module);

 private:
  SimWorkspace(const Scenario& scenario, Clock& clock, std::string root, bool keep);
  int Build(const std::string& libraryPath, std::string& error);
  int WritePackage(const std::string& libraryPath, std::string& error);

  Scenario scenario_;
  std::string root_;
  bool keep_;
  // The real files under the workspace folder.
  std::unique_ptr<FileSystem> nativeFs_;
  std::unique_ptr<SimulatedDevice> device_;
  SimFileSystem simFs_;
  // Numbers the calls; dies where $VANTEL3_SIM_KILL_AT_CALL says (see sim_kill_switch.h).
  SimKillSwitch killFs_;
  FaultInjectingFileSystem faultFs_;
  SimVolumeSource volumes_;
  FixedProgramPath programPath_;
  Vantel3SimAttachFn attach_ = nullptr;
};

}  // namespace vantel3
