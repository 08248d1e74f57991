// Windows: wide Win32 files, drive letters, GetModuleFileNameW, LoadLibraryExW,
// SetThreadExecutionState.
#include "dfu/dfu_binding.h"
#include "platform/program_path.h"
#include "platform/system_services.h"
#include "platform/win32_file_system.h"
#include "platform/win32_library_loader.h"
#include "platform/win32_sleep_inhibitor.h"
#include "platform/win32_volume_source.h"

namespace vantel3 {

namespace {

class Win32SystemServices final : public SystemServices {
 public:
  FileSystem& fs() override { return fs_; }
  VolumeSource& volumes() override { return volumes_; }
  ProgramPath& programPath() override { return programPath_; }
  LibraryLoader& loader() override { return loader_; }
  SleepInhibitor& sleepLock() override { return sleepLock_; }
  std::string packageDir() const override { return ".\\data"; }
  std::string libraryPath() const override {
    return std::string(".\\data\\") + kDfuLibraryFileName;
  }

 private:
  Win32FileSystem fs_;
  Win32VolumeSource volumes_;
  UserWritableProgramPath programPath_;
  Win32LibraryLoader loader_;
  ExecutionStateSleepInhibitor sleepLock_;
};

}  // namespace

std::unique_ptr<SystemServices> MakeSystemServices() {
  return std::make_unique<Win32SystemServices>();
}

std::unique_ptr<FileSystem> MakeNativeFileSystem() {
  return std::make_unique<Win32FileSystem>();
}

std::unique_ptr<VolumeSource> MakeCapturedVolumeSource(const std::string&) {
  return nullptr;
}

}  // namespace vantel3
