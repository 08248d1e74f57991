// The file system the updater sees on the simulated device: every call brings the device up
// to now before and after the operation, writes to a still read-only SD1 are refused, copies
// onto a drive are counted for a drive that vanishes mid-copy, and the scenario's file
// faults are injected by operation, path and count.
#pragma once

#include <mutex>
#include <vector>

#include "platform/file_system.h"
#include "sim/scenario.h"
#include "sim/simulated_device.h"

namespace vantel3 {

class SimFileSystem final : public ForwardingFileSystem {
 public:
  // `device` may be null (faults only, no device).
  SimFileSystem(FileSystem& target, SimulatedDevice* device, std::vector<FileFault> faults);

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

  // Calls refused so far by the fault rules (not counting read-only refusals).
  int InjectedFailures();

 private:
  struct Rule {
    FileFault fault;
    uint32_t matched = 0;
  };
  // The error of the first rule that fires for this call, or none.
  std::error_code Inject(FileOp op, const Path& path, const Path* second = nullptr);
  // Tick, injected fault, then (for modifying operations) the read-only check.
  std::error_code Before(FileOp op, bool modifies, const Path& path, const Path* second = nullptr);
  void After();

  SimulatedDevice* device_;
  std::mutex mutex_;
  std::vector<Rule> rules_;
  int injected_ = 0;
};

}  // namespace vantel3
