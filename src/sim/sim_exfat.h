// Real exFAT volumes for the simulated device's drives: block devices (loop devices over
// image files) that hold a fresh exFAT file system each, mounted in user space with
// mount.exfat-fuse and unmounted with fusermount, so that the updater meets a real FAT-family
// file system (case-insensitive names, no links, its own caching) instead of plain folders.
#pragma once

#include <string>
#include <vector>

namespace vantel3 {

// The block devices of SD0 and SD1, e.g. "/dev/loop3": when both are set, the workspace puts
// the drives on them; each must hold an exFAT file system (the drive's first content is
// written at the start).
inline constexpr const char* kSimExfatSd0Variable = "VANTEL3_SIM_EXFAT_SD0";
inline constexpr const char* kSimExfatSd1Variable = "VANTEL3_SIM_EXFAT_SD1";

struct SimExfatDevices {
  std::string sd0;
  std::string sd1;
  bool enabled() const { return !sd0.empty() && !sd1.empty(); }
};

// Both variables, or none (an empty result) when either is missing or empty.
SimExfatDevices SimExfatDevicesFromEnvironment();

// Runs `argv` (found on PATH) with its output thrown away and waits for it. Returns its exit
// status, or -1 (with `error`) when it could not be started or did not exit normally.
[[nodiscard]] int RunSimHelper(const std::vector<std::string>& argv, std::string& error);

// Mounts the exFAT file system on `device` at the existing empty folder `dir`. Returns 1, or 0
// with `error`.
[[nodiscard]] int MountExfat(const std::string& device, const std::string& dir, std::string& error);

// Unmounts the user-space mount at `dir` (lazily when it is busy). Returns 1, or 0 with
// `error` (it is then still mounted).
[[nodiscard]] int UnmountExfat(const std::string& dir, std::string& error);

}  // namespace vantel3
