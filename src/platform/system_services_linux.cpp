// Linux: POSIX files, mountinfo + sysfs + udev drives, /proc/self/exe, dlopen, logind.
#include "dfu/dfu_binding.h"
#include "platform/linux_volume_source.h"
#include "platform/posix_file_system.h"
#include "platform/system_services.h"

namespace vantel3 {

namespace {

class LinuxSystemServices final : public SystemServices {
 public:
  LinuxSystemServices() : sleepLock_(MakeSystemSleepInhibitor()) {}
  FileSystem& fs() override { return fs_; }
  VolumeSource& volumes() override { return volumes_; }
  ProgramPath& programPath() override { return programPath_; }
  LibraryLoader& loader() override { return loader_; }
  SleepInhibitor& sleepLock() override { return *sleepLock_; }
  std::string packageDir() const override { return "./data"; }
  std::string libraryPath() const override { return std::string("./data/") + kDfuLibraryFileName; }

 private:
  PosixFileSystem fs_;
  LinuxVolumeSource volumes_;
  UserWritableProgramPath programPath_;
  DlLibraryLoader loader_;
  std::unique_ptr<SleepInhibitor> sleepLock_;
};

}  // namespace

std::unique_ptr<SystemServices> MakeSystemServices() {
  return std::make_unique<LinuxSystemServices>();
}

std::unique_ptr<FileSystem> MakeNativeFileSystem() {
  return std::make_unique<PosixFileSystem>();
}

std::unique_ptr<VolumeSource> MakeCapturedVolumeSource(const std::string& root) {
  return std::make_unique<LinuxVolumeSource>(root + "/proc", root + "/sys",
                                             root + "/run/udev/data");
}

}  // namespace vantel3
