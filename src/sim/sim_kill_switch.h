// A file system layer of the simulated device for interruption tests: it numbers the calls
// that reach the device's file system, can write them to a trace file, and can kill the whole
// process (SIGKILL, as a crash or a pulled plug would end it) right before a chosen call or
// in the middle of it, so a later run can be checked on what the dead one left behind.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/file_system.h"

namespace vantel3 {

// Environment variables the workspace reads its kill switch from.
inline constexpr const char* kSimKillAtCallVariable = "VANTEL3_SIM_KILL_AT_CALL";
inline constexpr const char* kSimCallTraceVariable = "VANTEL3_SIM_CALL_TRACE";

struct SimKillSwitchConfig {
  // 1-based number of the call to die at; 0: never.
  uint64_t killAtCall = 0;
  // false: die right before the call. true: die inside it: a WriteFile or CopyFile leaves
  // the first half of its bytes at the destination; any other call is carried out first.
  bool inside = false;
  // When not empty, one line "<number> <operation> <path>[ -> <destination>]" per call is
  // appended to this file, flushed at once.
  std::string tracePath;
};

// Parses the value of kSimKillAtCallVariable: "N" (before call N) or "N+" (inside call N).
// Returns 1, or 0 when `text` is not of that form (nothing is changed then).
[[nodiscard]] int ParseSimKillAt(const std::string& text, SimKillSwitchConfig& config);

// The configuration from the environment; a malformed kill point is ignored.
SimKillSwitchConfig SimKillSwitchFromEnvironment();

class SimKillSwitch final : public ForwardingFileSystem {
 public:
  SimKillSwitch(FileSystem& target, SimKillSwitchConfig config);
  ~SimKillSwitch() override;
  SimKillSwitch(const SimKillSwitch&) = delete;
  SimKillSwitch& operator=(const SimKillSwitch&) = delete;

  // Calls that reached this layer so far.
  uint64_t CallCount() const { return count_; }

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
  // Numbers and traces the call; dies when it is the one to die before. True when the call
  // is the one to die inside.
  bool Enter(const char* op, const Path& path, const Path* to = nullptr);
  // Carries out the rest of a call to die inside of, then dies.
  [[noreturn]] void Die();

  SimKillSwitchConfig config_;
  uint64_t count_ = 0;
  std::FILE* trace_ = nullptr;
};

}  // namespace vantel3
