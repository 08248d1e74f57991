#include "sim/sim_exfat.h"

#include <cstdlib>

#include "platform/process.h"

namespace vantel3 {

SimExfatDevices SimExfatDevicesFromEnvironment() {
  SimExfatDevices devices;
  const char* sd0 = std::getenv(kSimExfatSd0Variable);
  const char* sd1 = std::getenv(kSimExfatSd1Variable);
  if (sd0 != nullptr && sd1 != nullptr && *sd0 != '\0' && *sd1 != '\0') {
    devices.sd0 = sd0;
    devices.sd1 = sd1;
  }
  return devices;
}

int RunSimHelper(const std::vector<std::string>& argv, std::string& error) {
  return RunHelperProgram(argv, error);
}

int MountExfat(const std::string& device, const std::string& dir, std::string& error) {
  return RunSimHelper({"mount.exfat-fuse", "-o", "noatime", device, dir}, error) == 0 ? 1 : 0;
}

int UnmountExfat(const std::string& dir, std::string& error) {
  if (RunSimHelper({"fusermount", "-u", dir}, error) == 0) return 1;
  return RunSimHelper({"fusermount", "-u", "-z", dir}, error) == 0 ? 1 : 0;
}

}  // namespace vantel3
