// A model of the Vantel 3 firmware as the updater drives it: its drives (real folders that
// are moved in and out of their mount points), its version file, its reactions to the marker
// files, and its firmware-upgrade mode. It has no thread: every call first brings the device
// up to the clock's "now" (Tick), so it behaves the same on the virtual and the real clock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/volume_source.h"
#include "sim/scenario.h"
#include "sim/sim_dfu_endpoint.h"
#include "sim/sim_exfat.h"

namespace vantel3 {

enum class DeviceMode {
  kOff,              // no drive and no firmware-upgrade device (switching, restarting)
  kNormal,           // SD0 (normal drive) shown
  kUpdateMode,       // SD1 (system drive) shown
  kFirmwareUpgrade,  // the HID firmware-upgrade device answers
};

// Headers of the images the workspace writes; the device learns versions from them.
inline constexpr const char* kSimFirmwareHeader = "VANTEL3 FW ";
inline constexpr const char* kSimBootLoaderHeader = "VANTEL3 BL ";
inline constexpr const char* kSimBluetoothHeader = "VANTEL3 BT ";

class SimulatedDevice {
 public:
  // The drives live under `workspaceRoot`: mounted at <root>/media/<label>/ (SD1 at
  // <root>/media/<label>1/ unless sameRoot), unmounted at <root>/device/sd0 and sd1.
  // `fs` is the plain file system the device uses itself (never the ticking wrapper).
  SimulatedDevice(const Scenario& scenario, Clock& clock, FileSystem& fs,
                  std::string workspaceRoot);
  // Unmounts the drives' exFAT file systems (their folders stay, empty).
  ~SimulatedDevice();
  SimulatedDevice(const SimulatedDevice&) = delete;
  SimulatedDevice& operator=(const SimulatedDevice&) = delete;

  // Before Start or Restart: puts SD0 and SD1 on these exFAT block devices. A drive's folder
  // is then the mount point of its file system (at its home while closed, at its mount point
  // while shown), and moving a drive unmounts it and mounts it at the other place, so that
  // a closed drive's mount point is really gone.
  void UseExfatDevices(const SimExfatDevices& devices) { exfat_ = devices; }

  // Creates the drive folders with their first content and the device's first state. Returns
  // 1, or 0 with `error` (what is on disk then is unspecified).
  [[nodiscard]] int Start(std::string& error);

  // Instead of Start, for drive folders an earlier process left under the workspace: the
  // user restarted the device. SD1 is closed and SD0 mounted in normal mode with what they
  // hold; the generation, model and versions come from the version file found on SD0
  // (vo3_ver2, ru3r_ver2, vo3_ver, ru3r_ver, vt_ver, in that order), the scenario's values
  // where it holds none. Markers left on SD0 are acted on as usual. Returns 1, or 0 with
  // `error` when a drive's folder is nowhere (nothing is moved then).
  [[nodiscard]] int Restart(std::string& error);

  // Applies everything due up to the clock's now: timed reactions, and markers on the
  // mounted drives (a marker counts as seen at the tick that first finds it).
  void Tick();

  // The user switches the device off and on again (as before a Retry): reactions under way
  // are dropped, both drives close, and SD0 shows up a second later in normal mode. A
  // Bluetooth part left in firmware-upgrade mode stays there: restarting does not mend it.
  void PowerCycle();

  // The device's drives that are mounted now, as removable (per scenario) volumes with the
  // device label, after the extra volumes. Ticks first.
  std::vector<Volume> ListVolumes();

  // Called by the file system wrapper before a modifying operation on `path`: an error when
  // the path lies on SD1 while it is still read-only, else none.
  std::error_code CheckWritable(const Path& path);
  // Called by the wrapper after a file was copied to `destination` (counts toward
  // vanishMidCopy).
  void NoteFileCopied(const Path& destination);

  // The firmware-upgrade library's six entry points, with its result conventions.
  int32_t DfuConnect(uint16_t vendorId, uint16_t productId, uint16_t usage, uint16_t usagePage,
                     uint32_t* device);
  int32_t DfuDisconnect();
  // Reads the image at `imagePath` (relative paths from the current folder) at once.
  int32_t DfuUpgrade(const char* imagePath, int32_t flags);
  int32_t DfuGetProgress();
  int32_t DfuResetDevice();
  int32_t DfuGetResult();

  // The table the stand-in library forwards to; valid as long as the device.
  const Vantel3SimDfuEndpoint& DfuEndpoint() const { return endpoint_; }

  // Inspection, for tests and front ends. Each ticks first.
  DeviceMode Mode();
  bool IsMounted(SimDrive drive);
  // The drive's mount point with a trailing "/" (whether mounted now or not).
  std::string MountRoot(SimDrive drive) const;
  // Where the drive's folder is now (its mount point, or its place under <root>/device).
  std::string DriveFolder(SimDrive drive);
  int Generation();
  // The Bluetooth version the device runs (without the "vt-bt-" tag).
  std::string BluetoothVersion();
  // How often the device came back with a newly installed Bluetooth image (through the
  // firmware-upgrade library or from "firmware.dfu" on SD0).
  int BluetoothInstalls();
  // One line per reaction, "<ms> <what>", for tests and the demo's log.
  std::vector<std::string> Events();

 private:
  enum class EventKind {
    kSd0Appears,
    kGen1Restart,
    kGen1Boot,
    kSd0Close,
    kSd1Open,
    kSd1Writable,
    kSd1CloseToDfu,
    kEnterDfu,
    kSd1CloseToSelfUpdate,
    kSelfUpdateDone,
    kDfuRebootDone,
    kVanishedReturns,
  };
  struct Pending {
    uint64_t at;
    EventKind kind;
  };

  void TickLocked();
  uint64_t NowLocked();
  void Schedule(uint64_t delay, EventKind kind);
  void Apply(EventKind kind);
  void ScanMarkers();
  void Log(const std::string& what);

  int Mount(SimDrive drive);
  int Unmount(SimDrive drive);
  // Moves the drive's folder (plain folders: a rename; exFAT: unmount, mount elsewhere).
  std::error_code MoveDrive(SimDrive drive, const std::string& from, const std::string& to);
  std::string HomeFolder(SimDrive drive) const;
  std::string PathOnDrive(SimDrive drive, const char* name) const;
  bool OnDrive(const Path& path, SimDrive drive) const;
  std::string ReadHeaderValue(const std::string& path, const char* header);
  void RemoveFromDrive(SimDrive drive, const char* name);
  void WriteSecondGenerationFile();
  int32_t ProgressLocked();
  bool UpgradeDoneLocked();

  Scenario scenario_;
  SimExfatDevices exfat_;
  Clock& clock_;
  FileSystem& fs_;
  std::string root_;
  Vantel3SimDfuEndpoint endpoint_;

  std::mutex mutex_;
  bool started_ = false;
  bool exfatMounted_ = false;
  uint32_t lastClockMs_ = 0;
  uint64_t nowMs_ = 0;
  std::vector<Pending> pending_;
  std::vector<std::string> events_;

  DeviceMode mode_ = DeviceMode::kOff;
  bool mounted_[2] = {false, false};
  bool sd1Writable_ = false;
  int generation_ = 2;
  std::string modelName_ = "RU3R";
  std::string versionFileName_;
  std::string fw_;
  std::string btTagged_;
  std::string df_;
  // Reactions under way, so a marker is acted on once.
  bool gen1Reacting_ = false;
  bool sd0Reacting_ = false;
  bool sd1Reacting_ = false;
  // What SD0 held when it closed for update mode.
  bool sawFirmwareNo_ = false;
  bool sawFirmwareDfu_ = false;
  std::string stagedBtVersion_;
  // Mid-copy vanishing.
  uint32_t copiesIntoVanishDrive_ = 0;
  bool vanishDone_ = false;
  // Firmware-upgrade mode.
  bool dfuConnected_ = false;
  bool upgradeRunning_ = false;
  uint64_t upgradeStartMs_ = 0;
  std::string upgradeImageBtVersion_;
  int bluetoothInstalls_ = 0;
  bool startedInDfu_ = false;
};

// The device's drives as the updater's volume source.
class SimVolumeSource final : public VolumeSource {
 public:
  explicit SimVolumeSource(SimulatedDevice& device) : device_(device) {}
  std::vector<Volume> ListVolumes() override { return device_.ListVolumes(); }

 private:
  SimulatedDevice& device_;
};

}  // namespace vantel3
