#include "log/run_log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace vantel3 {

namespace {

constexpr std::string_view kSuffix = ".log";
constexpr std::string_view kFullText =
    "log full: ordinary events from here on are left out; message boxes, step ends and the end "
    "are still written";

struct UtcParts {
  int year;
  unsigned month, day, hour, minute, second, milli;
};

UtcParts SplitUtc(int64_t utcMs) {
  using namespace std::chrono;
  const sys_time<milliseconds> time{milliseconds(utcMs)};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss<milliseconds> clock{time - day};
  return {static_cast<int>(date.year()),
          static_cast<unsigned>(date.month()),
          static_cast<unsigned>(date.day()),
          static_cast<unsigned>(clock.hours().count()),
          static_cast<unsigned>(clock.minutes().count()),
          static_cast<unsigned>(clock.seconds().count()),
          static_cast<unsigned>(clock.subseconds().count())};
}

std::string FormatUtc(int64_t utcMs, char timeSeparator) {
  const UtcParts p = SplitUtc(utcMs);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02u%c%02u%c%02u.%03uZ", p.year, p.month, p.day,
                p.hour, timeSeparator, p.minute, timeSeparator, p.second, p.milli);
  return text;
}

}  // namespace

std::string FormatUtcTime(int64_t utcMs) {
  return FormatUtc(utcMs, ':');
}

std::string RunLogFileName(int64_t utcMs) {
  return FormatUtc(utcMs, '-') + std::string(kSuffix);
}

bool IsRunLogFileName(std::string_view name) {
  // "YYYY-MM-DDTHH-MM-SS.mmmZ.log"
  constexpr std::string_view shape = "dddd-dd-ddTdd-dd-dd.dddZ.log";
  if (name.size() != shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const char c = name[i];
    if (shape[i] == 'd' ? !(c >= '0' && c <= '9') : c != shape[i]) return false;
  }
  return true;
}

std::vector<std::string> ListRunLogs(const std::string& folder) {
  std::vector<std::string> names = ListLogFolder(folder);
  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const std::string& n) { return !IsRunLogFileName(n); }),
              names.end());
  std::sort(names.begin(), names.end());
  return names;
}

std::string EscapeEventText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

RunLog::RunLog(const std::string& folder, Clock& clock, WallClock& wall, RunLogLimits limits)
    : clock_(clock), wall_(wall), limits_(limits), startMs_(clock.NowMs()) {
  if (folder.empty() || !CreateLogFolder(folder)) return;
  // The system's own separator where the folder ends without one ("\\" on Windows).
  const std::string prefix =
      folder.back() == '/' || folder.back() == '\\'
          ? folder
          : folder + static_cast<char>(std::filesystem::path::preferred_separator);
  // Two starts in the same millisecond get the next free millisecond's name.
  int64_t at = wall_.UtcMs();
  std::string path = prefix + RunLogFileName(at);
  for (int tries = 0; LogPathExists(path) && tries < 1000; ++tries) {
    path = prefix + RunLogFileName(++at);
  }
  if (LogPathExists(path) || !file_.Open(path)) return;
  path_ = path;
  writing_ = true;

  std::vector<std::string> kept = ListRunLogs(folder);
  const std::size_t keep = std::max<std::size_t>(limits_.keepRuns, 1);
  for (std::size_t i = 0; i + keep < kept.size(); ++i) {
    if (prefix + kept[i] != path_) RemoveLogFile(prefix + kept[i]);
  }
}

void RunLog::Close() {
  std::lock_guard lock(mutex_);
  writing_ = false;
  file_.Close();
}

void RunLog::Event(std::string_view text) {
  Write(text, false);
}

void RunLog::Notice(std::string_view text) {
  Write(text, true);
}

std::string RunLog::path() {
  std::lock_guard<std::mutex> lock(mutex_);
  return writing_ ? path_ : std::string();
}

void RunLog::Write(std::string_view text, bool notice) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!writing_) return;
  std::string event = EscapeEventText(text);
  if (event.size() > limits_.maxEventBytes) {
    const std::size_t cut = event.size() - limits_.maxEventBytes;
    event.resize(limits_.maxEventBytes);
    event += " ... (" + std::to_string(cut) + " more bytes left out)";
  }
  char stamp[48];
  const uint32_t sinceStart = static_cast<uint32_t>(clock_.NowMs() - startMs_);
  std::snprintf(stamp, sizeof stamp, "%s %9u ", FormatUtcTime(wall_.UtcMs()).c_str(),
                static_cast<unsigned>(sinceStart));
  std::string line = stamp + event + "\n";

  const std::size_t reserve = std::min(limits_.noticeReserveBytes, limits_.capBytes);
  const std::size_t room = notice ? limits_.capBytes : limits_.capBytes - reserve;
  if (written_ + line.size() > room) {
    if (notice || fullNoted_) return;
    fullNoted_ = true;
    line = stamp + std::string(kFullText) + "\n";
    if (written_ + line.size() > limits_.capBytes) return;
  }
  if (!file_.Append(line)) {
    writing_ = false;  // nothing more is tried: a failing log must not cost the run
    return;
  }
  written_ += line.size();
}

}  // namespace vantel3
