// The file system the updater sees on the simulated device: every call brings the device up
// to now before and after the operation (so a marker is seen at the moment it is written),
// writes to a still read-only SD1 are refused, and copies onto a drive are counted for a drive
// that vanishes mid-copy. Injected faults come from a FaultInjectingFileSystem on top.
#pragma once

#include "platform/file_system.h"
#include "sim/simulated_device.h"

namespace vantel3 {

class SimFileSystem final : public ForwardingFileSystem {
 public:
  SimFileSystem(FileSystem& target, SimulatedDevice& device)
      : ForwardingFileSystem(target), device_(device) {}

  bool Exists(const Path& path) override;
  std::error_code Status(const Path& path, EntryType& type) override;
  std::error_code ListDirectory(const Path& path, std::vector<DirEntry>& entries) override;
  std::error_code CreateDirectory(const Path& path) override;
  std::error_code RemoveDirectory(const Path& path) override;
  std::error_code RemoveFile(const Path& path) override;
  std::error_code Rename(const Path& from, const Path& to) override;
  std::error_code CopyFile(const Path& from, const Path& to) override;
  std::error_code ReadFile(const Path& path, std::size_t maxBytes, std::string& out) override;
  std::error_code WriteFile(const Path& path, std::string_view data) override;
  std::error_code FlushFile(const Path& path) override;
  std::error_code SyncFileSystem(const Path& path) override;
  std::error_code OpenForReading(const Path& path, ReadSource source,
                                 std::unique_ptr<FileReader>& reader) override;

 private:
  // Ticks; for a call that writes to `path` (and `second`), the read-only refusal or none.
  std::error_code Before(bool modifies, const Path& path, const Path* second = nullptr);
  // Before, the call, then a tick, so that what the call wrote is seen at once.
  template <typename Call>
  std::error_code Forward(bool modifies, const Path& path, const Path* second, Call call) {
    if (std::error_code ec = Before(modifies, path, second)) return ec;
    const std::error_code ec = call();
    device_.Tick();
    return ec;
  }

  SimulatedDevice& device_;
};

}  // namespace vantel3
