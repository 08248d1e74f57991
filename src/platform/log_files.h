// The files of the run logs: their folder, the files in it, appending one line at a time.
// Kept apart from FileSystem on purpose: writing the log must add no calls, faults or
// simulated-device reactions to the run it describes. Portable: std::filesystem and fstreams
// (which take wide paths on Windows). No function here throws or reports to the user.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace vantel3 {

// Creates `folder` and its parents; true when it is a folder afterwards.
[[nodiscard]] bool CreateLogFolder(const std::string& folder);
// The names of the regular files in `folder`, in no particular order; empty on any error.
std::vector<std::string> ListLogFolder(const std::string& folder);
// True when anything exists at `path`.
[[nodiscard]] bool LogPathExists(const std::string& path);
// Removes one file; failures are ignored (an old log that stays is harmless).
void RemoveLogFile(const std::string& path);
// Up to `maxBytes` of a file; false when it cannot be read.
[[nodiscard]] bool ReadLogFile(const std::string& path, std::size_t maxBytes, std::string& out);
// The size of a regular file in bytes, -1 when it cannot be had. For the log's copy events.
[[nodiscard]] int64_t SizeOfFile(const std::string& path);

// One log file open for appending. Each Append reaches the operating system before it returns
// (no buffer of ours is lost when the process ends abruptly); nothing is forced to the medium.
class AppendOnlyFile {
 public:
  // Creates the file (or appends to one that exists); false when it cannot be opened.
  [[nodiscard]] bool Open(const std::string& path);
  // Adds `text` at the end; false when it could not be written.
  [[nodiscard]] bool Append(std::string_view text);
  // Closes the file (nothing when it is not open).
  void Close();

 private:
  std::ofstream out_;
};

}  // namespace vantel3
