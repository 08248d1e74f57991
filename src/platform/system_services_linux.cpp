// Linux: POSIX files, mountinfo + sysfs + udev drives, /proc/self/exe, dlopen, logind.
#include <sys/utsname.h>

#include <cstdlib>

#include "dfu/dfu_binding.h"
#include "platform/linux_volume_source.h"
#include "platform/posix_file_system.h"
#include "platform/system_services.h"

namespace vantel3 {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

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
  std::string logFolder() const override { return LinuxLogFolder(Env); }
  std::string systemDescription() const override {
    utsname name{};
    if (::uname(&name) != 0) return "Linux";
    return std::string(name.sysname) + " " + name.release + " " + name.version + " " + name.machine;
  }

 private:
  PosixFileSystem fs_;
  LinuxVolumeSource volumes_;
  UserWritableProgramPath programPath_;
  DlLibraryLoader loader_;
  std::unique_ptr<SleepInhibitor> sleepLock_;
};

}  // namespace

std::string LinuxLogFolder(const std::function<std::string(const char* name)>& getEnv) {
  // A relative XDG_STATE_HOME is invalid by the XDG rules and is ignored.
  std::string state = getEnv("XDG_STATE_HOME");
  if (state.empty() || state[0] != '/') {
    const std::string home = getEnv("HOME");
    if (home.empty() || home[0] != '/') return {};
    state = home + "/.local/state";
  }
  if (state.back() != '/') state += '/';
  return state + "vantel3-updater/log/";
}

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
