// Finding the device's drive among the mounted volumes, and the write probe that tells when
// it accepts writes.
#pragma once

#include <string>

#include "platform/file_system.h"
#include "platform/volume_source.h"

namespace vantel3 {

inline constexpr const char* kDeviceLabels[2] = {"VANTEL3", "VO3"};
inline constexpr const char* kWriteProbeFolderName = "__vantel_write_probe__";

// The first removable volume, in the platform's order, whose label is exactly "VANTEL3" or
// "VO3". Returns 1 and copies its root into `destination`, with a trailing "/" added if the
// source gave none; 0 leaves `destination` untouched. Volumes without a label never match.
[[nodiscard]] int FindDeviceDrive(VolumeSource& volumes, std::string& destination);

// 1 when a folder can be created in `root` (or one is already there); the probe folder is
// removed again. 0 for a null or vanished root, without trying to create anything.
[[nodiscard]] int IsDriveWritable(FileSystem& fs, const std::string* root);

}  // namespace vantel3
