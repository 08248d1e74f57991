// Shared pieces of the window tests: a library loader that binds or fails on request, a
// gate a fake worker waits at, and the services of a run that touches nothing real.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "platform/library_loader.h"
#include "platform/posix_file_system.h"
#include "platform/program_path.h"
#include "platform/volume_source.h"
#include "workflow/update_context.h"

namespace vantel3::guitest {

// Opens a pretend module; every entry point resolves except `missing`.
class FakeLoader final : public LibraryLoader {
 public:
  bool loads = true;
  std::string missing;
  void* Open(const std::filesystem::path& path, std::string& error) override;
  void* Symbol(void* module, const char* name) override;
};

// A worker waits at Pass() until the test calls Open().
class Gate {
 public:
  void Open();
  void Pass();
  // Number of threads waiting right now.
  [[nodiscard]] int Waiting();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  int waiting_ = 0;
};

struct QuietServices {
  VirtualClock clock;
  PosixFileSystem fs;
  StaticVolumeSource volumes;
  FixedProgramPath programPath{"/nonexistent/vantel3-updater"};
  UpdateServices services{clock, fs, volumes, programPath, "/nonexistent/data"};
};

}  // namespace vantel3::guitest
