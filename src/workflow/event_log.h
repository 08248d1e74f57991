// Where a run tells what happened, for the log a user can send to support. The steps and the
// wrappers around their services write events here; writing one never fails or waits.
#pragma once

#include <string>
#include <string_view>

#include "fsops/read_back.h"

namespace vantel3 {

class EventLog {
 public:
  virtual ~EventLog() = default;
  // One event, as one line of text (line breaks in it are shown escaped).
  virtual void Event(std::string_view text) = 0;
  // An event support must not lose: a message box, a step's or the run's end, the exit status.
  // Written even when the log's room for ordinary events is used up.
  virtual void Notice(std::string_view text) = 0;
};

// Drops every event: for tests and tools that keep no log.
class NullEventLog final : public EventLog {
 public:
  void Event(std::string_view) override {}
  void Notice(std::string_view) override {}
};

// One shared log that drops everything, the default of UpdateServices.
inline EventLog& NoEventLog() {
  static NullEventLog log;
  return log;
}

// What a copy onto the device was, for its event. Whether it reached the medium intact shows
// in a later event, when it is read back after the drive's flush.
struct CopyRecord {
  std::string from;
  std::string to;
  long long bytes = -1;  // -1: unknown
  unsigned elapsedMs = 0;
  std::string error;  // empty: the copy succeeded
};

// "copy FROM -> TO: N bytes in M ms" or "...: FAILED: ERROR".
std::string FormatCopyEvent(const CopyRecord& record);
// "read back COPY: same (N bytes)", "...: differs from the package after N equal bytes",
// "...: copy unreadable (0 bytes)", "...: not read (--no-verify)".
std::string FormatReadBackEvent(const ReadBackRecord& record);

}  // namespace vantel3
