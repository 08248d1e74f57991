#include "formats/device_drive.h"

#include <system_error>

#include "platform/path_limit.h"

namespace vantel3 {

int FindDeviceDrive(VolumeSource& volumes, std::string& destination) {
  for (const Volume& volume : volumes.ListVolumes()) {
    // Only removable media: a fixed disk or a network share with the device's label is
    // never taken for the device.
    if (!volume.removable || !volume.label.has_value() || volume.root.empty()) continue;
    const std::string& label = *volume.label;
    if (label != kDeviceLabels[0] && label != kDeviceLabels[1]) continue;
    std::string root = volume.root;
    // Device paths are the root followed directly by a name.
    if (!IsPathSeparator(root.back())) root.push_back('/');
    destination = std::move(root);
    return 1;
  }
  return 0;
}

int IsDriveWritable(FileSystem& fs, const std::string* root) {
  if (root == nullptr || root->empty() || !fs.Exists(*root)) return 0;
  std::string probe;
  if (!JoinPath(*root, kWriteProbeFolderName, probe)) return 0;
  const std::error_code created = fs.CreateDirectory(probe);
  // A probe folder left behind by an earlier run proves nothing about writes, but the
  // device answers the same way; it is removed now when it is empty.
  if (created && created != std::errc::file_exists) return 0;
  (void)fs.RemoveDirectory(probe);
  return 1;
}

}  // namespace vantel3
