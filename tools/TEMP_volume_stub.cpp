// TEMPORARY: DELETE THIS FILE (and its block in tools/CMakeLists.txt) WHEN THE REAL
// src/platform/linux_volume_source.cpp IS MERGED. It only lets vantel3-tool link on a branch
// that does not have the Linux volume source yet; it lists no volumes.
#include "platform/linux_volume_source.h"

namespace vantel3 {

LinuxVolumeSource::LinuxVolumeSource(std::string procRoot, std::string sysRoot,
                                     std::string udevDataRoot)
    : procRoot_(std::move(procRoot)),
      sysRoot_(std::move(sysRoot)),
      udevDataRoot_(std::move(udevDataRoot)) {}

std::vector<Volume> LinuxVolumeSource::ListVolumes() {
  return {};
}

}  // namespace vantel3
