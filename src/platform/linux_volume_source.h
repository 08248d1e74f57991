// The mounted volumes of a Linux machine: /proc/self/mountinfo in file order, removable when
// the block device or its disk has "removable" 1 in sysfs or sits on the USB bus, the label
// from udev's ID_FS_LABEL. The roots of proc, sys and the udev data are injectable so that
// tests (and support staff, with a captured snapshot) can point them at a fixture tree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/volume_source.h"

namespace vantel3 {

struct MountEntry {
  unsigned major = 0;
  unsigned minor = 0;
  std::string mountPoint;  // decoded: "\040" is a space, and so on
  std::string fsType;
  std::string source;
};

// Parses mountinfo text; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The value of ID_FS_LABEL in a udev database file ("E:ID_FS_LABEL=..." lines), decoded;
// false when there is none.
bool ParseUdevLabel(std::string_view udevDataFile, std::string& label);

class LinuxVolumeSource final : public VolumeSource {
 public:
  // With all three roots at their defaults, labels come from libudev; otherwise from the
  // udev data files under `udevDataRoot` ("b<major>:<minor>").
  explicit LinuxVolumeSource(std::string procRoot = "/proc", std::string sysRoot = "/sys",
                             std::string udevDataRoot = "/run/udev/data");
  std::vector<Volume> ListVolumes() override;

 private:
  std::string procRoot_;
  std::string sysRoot_;
  std::string udevDataRoot_;
};

}  // namespace vantel3
