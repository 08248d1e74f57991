// The mounted volumes of a Linux machine: /proc/self/mountinfo in file order, removable when
// the block device or its disk has "removable" 1 in sysfs or sits on the USB bus, the label
// from udev's database (ID_FS_LABEL_ENC, else ID_FS_LABEL). The roots of proc, sys and the
// udev data are injectable so that tests (and support staff, with a captured snapshot) can
// point them at a fixture tree.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/volume_source.h"

namespace vantel3 {

// Read limits: mountinfo of a machine with tens of thousands of mounts still fits (a longer
// one is read up to the last whole line within the limit); a udev database file is a few
// hundred bytes.
inline constexpr std::size_t kMaxMountInfoBytes = std::size_t{4} << 20;
inline constexpr std::size_t kMaxUdevDataBytes = std::size_t{64} << 10;

struct MountEntry {
  unsigned major = 0;
  unsigned minor = 0;
  std::string fsRoot;      // the folder of the file system seen at the mount point ("/" unless
                           // a bind mount of a sub-folder), decoded
  std::string mountPoint;  // decoded: "\040" is a space, and so on; always starts with "/"
  std::string fsType;
  std::string source;
};

// Parses mountinfo text in its order; malformed lines are skipped. Never throws.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The file system label in a udev database file ("E:KEY=value" lines): the exact label from
// ID_FS_LABEL_ENC (udev's \xHH escapes decoded), else ID_FS_LABEL (in which udev has replaced
// blanks and unusual characters by "_"). False when there is none; `label` is then unchanged.
bool ParseUdevLabel(std::string_view udevDataFile, std::string& label);

class LinuxVolumeSource final : public VolumeSource {
 public:
  // With all three roots at their defaults, labels come from libudev; otherwise (and when
  // libudev knows no label) from the udev data files under `udevDataRoot` ("b<major>:<minor>").
  explicit LinuxVolumeSource(std::string procRoot = "/proc", std::string sysRoot = "/sys",
                             std::string udevDataRoot = "/run/udev/data");
  // Every mount of a whole file system ("/" as its root) that is not hidden by a later mount
  // on the same mount point, in mountinfo order. Volumes without a block device (major 0:
  // tmpfs, proc, FUSE) are listed as not removable and without a label. Empty when mountinfo
  // cannot be read.
  std::vector<Volume> ListVolumes() override;

 private:
  std::string procRoot_;
  std::string sysRoot_;
  std::string udevDataRoot_;
};

}  // namespace vantel3
