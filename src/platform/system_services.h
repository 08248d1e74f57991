// The real machine as a run of the updater meets it: file system, drives, the program's own
// path, the library loader, the sleep lock and the package folder. Each system the program is
// built for has one factory (system_services_linux.cpp, system_services_win32.cpp); front ends
// and the run's composition get everything real from it and never name a system's classes.
#pragma once

#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/library_loader.h"
#include "platform/program_path.h"
#include "platform/sleep_inhibitor.h"
#include "platform/volume_source.h"

namespace vantel3 {

class SystemServices {
 public:
  virtual ~SystemServices() = default;
  // The system's own file system (no faults, no simulation).
  virtual FileSystem& fs() = 0;
  // The mounted volumes as the system lists them.
  virtual VolumeSource& volumes() = 0;
  // Where "fa.bin" goes: beside the program, or a user-writable folder when that is read-only.
  virtual ProgramPath& programPath() = 0;
  // Loads the package's firmware-upgrade library.
  virtual LibraryLoader& loader() = 0;
  // Keeps the computer awake during a run on a real device; holds nothing where the system
  // offers no lock.
  virtual SleepInhibitor& sleepLock() = 0;
  // The package folder of a real run, relative to the current directory.
  virtual std::string packageDir() const = 0;
  // The package's firmware-upgrade library inside packageDir(), as a full path to load.
  virtual std::string libraryPath() const = 0;
};

// The services of the system this program was built for.
std::unique_ptr<SystemServices> MakeSystemServices();

// A file system of this system's own kind (POSIX, Win32), for the simulator's workspace and
// for tests, which need the real files without the rest of the services.
std::unique_ptr<FileSystem> MakeNativeFileSystem();

// The volumes of a tree captured on a Linux machine (`root`/proc, `root`/sys,
// `root`/run/udev/data), as vantel3-tool list-drives --root reads them; null where this build
// has no reader for such a tree (Windows).
std::unique_ptr<VolumeSource> MakeCapturedVolumeSource(const std::string& root);

}  // namespace vantel3
