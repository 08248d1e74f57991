// The log file of one start of the program, for a user to send to support: one line per event
// ("2026-12-11T16:55:23.123Z      1234 event": UTC time, milliseconds since the start on the
// run's own clock, the event), one file per start named by its start time, the last runs kept.
// A log that cannot be written writes nothing and reports nothing: it never fails or slows a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/log_files.h"
#include "workflow/event_log.h"

namespace vantel3 {

struct RunLogLimits {
  // A file never grows beyond this.
  std::size_t capBytes = 1024 * 1024;
  // The end of that room is kept for notices (message boxes, step ends, the end), so that a run
  // that fills its log with copies still tells how it ended.
  std::size_t noticeReserveBytes = 64 * 1024;
  // Older logs are removed when a new one starts, so that this many remain.
  std::size_t keepRuns = 20;
  // A longer event is cut, saying how much was left out.
  std::size_t maxEventBytes = 4096;
};

class RunLog final : public EventLog {
 public:
  // Starts a new log in `folder` (created as needed) named by the wall clock's time, then
  // removes the oldest logs there beyond limits.keepRuns. An empty folder, or one or a file that
  // cannot be made, gives a log that writes nothing.
  RunLog(const std::string& folder, Clock& clock, WallClock& wall, RunLogLimits limits = {});

  void Event(std::string_view text) override;
  void Notice(std::string_view text) override;

  // The file being written; empty when none could be made or writing has failed.
  [[nodiscard]] std::string path();
  // Closes the file; later events are dropped. For a process that ends at once and removes
  // the folder the log is in (Windows removes no file that is still open).
  void Close();

 private:
  void Write(std::string_view text, bool notice);

  std::mutex mutex_;
  Clock& clock_;
  WallClock& wall_;
  RunLogLimits limits_;
  uint32_t startMs_;
  std::string path_;
  AppendOnlyFile file_;
  bool writing_ = false;
  bool fullNoted_ = false;
  std::size_t written_ = 0;
};

// "2026-12-11T16:55:23.123Z".
std::string FormatUtcTime(int64_t utcMs);
// The file name of a log started at `utcMs`: "2026-12-11T16-55-23.123Z.log" (no colons, which
// Windows does not allow); names sort in the order of their start.
std::string RunLogFileName(int64_t utcMs);
// True for names RunLogFileName makes.
[[nodiscard]] bool IsRunLogFileName(std::string_view name);
// The names of the logs kept in `folder`, oldest first.
std::vector<std::string> ListRunLogs(const std::string& folder);
// The event's text on one line: control characters shown as \n, \r, \t or \xNN.
std::string EscapeEventText(std::string_view text);

}  // namespace vantel3
