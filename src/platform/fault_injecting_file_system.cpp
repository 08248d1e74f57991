#include "platform/fault_injecting_file_system.h"

#include <algorithm>
#include <utility>

namespace vantel3 {

namespace {

// The object whose hook is running on this thread, so its own calls do not re-enter it.
thread_local const FaultInjectingFileSystem* tHookRunning = nullptr;

// One character class "[...]" starting at pattern[i] == '['. On a match sets `next` past the
// class. A class without its closing "]" is taken as a literal "[".
bool MatchClass(std::string_view pattern, std::size_t i, char c, bool& matched, std::size_t& next) {
  std::size_t j = i + 1;
  bool negate = false;
  if (j < pattern.size() && (pattern[j] == '!' || pattern[j] == '^')) {
    negate = true;
    ++j;
  }
  bool found = false;
  bool first = true;
  for (; j < pattern.size(); ++j) {
    if (pattern[j] == ']' && !first) {
      matched = found != negate;
      next = j + 1;
      return true;
    }
    first = false;
    const char low = pattern[j];
    char high = low;
    if (j + 2 < pattern.size() && pattern[j + 1] == '-' && pattern[j + 2] != ']') {
      high = pattern[j + 2];
      j += 2;
    }
    if (low <= c && c <= high) found = true;
  }
  return false;
}

std::string TrimTrailingSeparators(std::string text) {
  while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
  return text;
}

bool PathMatches(std::string_view pattern, const Path& path) {
  const std::string text = path.string();
  return GlobMatch(pattern, text) || GlobMatch(pattern, TrimTrailingSeparators(text));
}

bool CallMatches(const FsCall& call, std::string_view pattern) {
  if (PathMatches(pattern, call.path)) return true;
  return (call.op == FsOp::kRename || call.op == FsOp::kCopyFile) && PathMatches(pattern, call.to);
}

// The form in which WrittenNotFlushed compares paths: "a/./b/" and "a/b" are the same.
std::string Key(const Path& path) {
  return TrimTrailingSeparators(path.lexically_normal().generic_string());
}

bool IsUnder(const std::string& key, const std::string& folder) {
  return key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 &&
         (key[folder.size()] == '/' || folder == "/");
}

}  // namespace

const char* FsOpName(FsOp op) {
  switch (op) {
    case FsOp::kExists:
      return "Exists";
    case FsOp::kStatus:
      return "Status";
    case FsOp::kListDirectory:
      return "ListDirectory";
    case FsOp::kCreateDirectory:
      return "CreateDirectory";
    case FsOp::kRemoveDirectory:
      return "RemoveDirectory";
    case FsOp::kRemoveFile:
      return "RemoveFile";
    case FsOp::kRename:
      return "Rename";
    case FsOp::kCopyFile:
      return "CopyFile";
    case FsOp::kReadFile:
      return "ReadFile";
    case FsOp::kWriteFile:
      return "WriteFile";
    case FsOp::kFlushFile:
      return "FlushFile";
    case FsOp::kSyncFileSystem:
      return "SyncFileSystem";
    case FsOp::kOpenForReading:
      return "OpenForReading";
  }
  return "?";
}

bool GlobMatch(std::string_view pattern, std::string_view text) {
  // Iterative matching with one backtrack point: the last "*" seen.
  std::size_t p = 0;
  std::size_t t = 0;
  std::size_t starP = std::string_view::npos;
  std::size_t starT = 0;
  while (t < text.size()) {
    if (p < pattern.size()) {
      const char pc = pattern[p];
      if (pc == '*') {
        starP = p++;
        starT = t;
        continue;
      }
      if (pc == '?') {
        ++p;
        ++t;
        continue;
      }
      if (pc == '[') {
        bool matched = false;
        std::size_t next = 0;
        if (MatchClass(pattern, p, text[t], matched, next)) {
          if (matched) {
            p = next;
            ++t;
            continue;
          }
        } else if (text[t] == '[') {
          ++p;
          ++t;
          continue;
        }
      } else if (pc == text[t]) {
        ++p;
        ++t;
        continue;
      }
    }
    if (starP == std::string_view::npos) return false;
    p = starP + 1;
    t = ++starT;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

int FaultInjectingFileSystem::AddFault(FsOp op, std::string_view pattern, std::error_code error,
                                       int count) {
  std::lock_guard lock(mutex_);
  const int id = nextRuleId_++;
  if (count == kAlways || count > 0) {
    rules_.push_back({id, op, std::string(pattern), error, count});
  }
  return id;
}

int FaultInjectingFileSystem::AddCorruption(std::string_view pattern, uint64_t offset, int count) {
  std::lock_guard lock(mutex_);
  const int id = nextRuleId_++;
  if (count == kAlways || count > 0) {
    corruptions_.push_back({id, std::string(pattern), offset, count});
  }
  return id;
}

void FaultInjectingFileSystem::RemoveFault(int id) {
  std::lock_guard lock(mutex_);
  std::erase_if(rules_, [id](const Rule& rule) { return rule.id == id; });
  std::erase_if(corruptions_, [id](const Corruption& rule) { return rule.id == id; });
}

void FaultInjectingFileSystem::ClearFaults() {
  std::lock_guard lock(mutex_);
  rules_.clear();
  corruptions_.clear();
}

int FaultInjectingFileSystem::RemainingFailures(int id) {
  std::lock_guard lock(mutex_);
  for (const Rule& rule : rules_) {
    if (rule.id == id) return rule.remaining;
  }
  for (const Corruption& rule : corruptions_) {
    if (rule.id == id) return rule.remaining;
  }
  return 0;
}

void FaultInjectingFileSystem::CorruptAfterCopy(const Path& to) {
  uint64_t offset = 0;
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(corruptions_.begin(), corruptions_.end(),
                           [&](const Corruption& rule) { return PathMatches(rule.pattern, to); });
    if (it == corruptions_.end()) return;
    offset = it->offset;
    if (it->remaining != kAlways && --it->remaining == 0) corruptions_.erase(it);
  }
  // The test files are small; the whole file is rewritten with the one byte changed.
  std::string bytes;
  if (target().ReadFile(to, static_cast<std::size_t>(-1), bytes)) return;
  if (bytes.empty()) {
    bytes.assign(1, '\xFF');
  } else {
    const std::size_t at =
        offset < bytes.size() ? static_cast<std::size_t>(offset) : bytes.size() - 1;
    bytes[at] = static_cast<char>(~static_cast<unsigned char>(bytes[at]));
  }
  (void)target().WriteFile(to, bytes);
}

void FaultInjectingFileSystem::SetHook(Hook hook) {
  std::lock_guard lock(mutex_);
  hook_ = std::move(hook);
}

std::vector<FsCall> FaultInjectingFileSystem::Calls() {
  std::lock_guard lock(mutex_);
  return log_;
}

std::size_t FaultInjectingFileSystem::CallCount() {
  std::lock_guard lock(mutex_);
  return log_.size();
}

void FaultInjectingFileSystem::ClearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

std::size_t FaultInjectingFileSystem::CountCalls(FsOp op, std::string_view pattern) {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(std::count_if(log_.begin(), log_.end(), [&](const FsCall& c) {
    return c.op == op && CallMatches(c, pattern);
  }));
}

std::size_t FaultInjectingFileSystem::FindCall(FsOp op, std::string_view pattern,
                                               std::size_t from) {
  std::lock_guard lock(mutex_);
  for (std::size_t i = from; i < log_.size(); ++i) {
    if (log_[i].op == op && CallMatches(log_[i], pattern)) return i;
  }
  return kNotFound;
}

std::vector<Path> FaultInjectingFileSystem::SuccessfulPaths(std::initializer_list<FsOp> ops,
                                                            bool destination) {
  std::lock_guard lock(mutex_);
  std::vector<Path> paths;
  for (const FsCall& call : log_) {
    if (call.result || std::find(ops.begin(), ops.end(), call.op) == ops.end()) continue;
    const bool twoPaths = call.op == FsOp::kCopyFile || call.op == FsOp::kRename;
    paths.push_back(destination && twoPaths ? call.to : call.path);
  }
  return paths;
}

std::vector<Path> FaultInjectingFileSystem::Created() {
  return SuccessfulPaths({FsOp::kCreateDirectory, FsOp::kWriteFile, FsOp::kCopyFile}, true);
}

std::vector<Path> FaultInjectingFileSystem::Removed() {
  return SuccessfulPaths({FsOp::kRemoveFile, FsOp::kRemoveDirectory}, false);
}

std::vector<Path> FaultInjectingFileSystem::Flushed() {
  return SuccessfulPaths({FsOp::kFlushFile}, false);
}

std::vector<Path> FaultInjectingFileSystem::Synced() {
  return SuccessfulPaths({FsOp::kSyncFileSystem}, false);
}

std::vector<Path> FaultInjectingFileSystem::WrittenNotFlushed(std::size_t endIndex,
                                                              std::string_view pattern) {
  std::lock_guard lock(mutex_);
  // Pending writes as (key, path as first written), oldest first.
  std::vector<std::pair<std::string, Path>> pending;
  auto drop = [&pending](const std::string& key, bool withDescendants) {
    std::erase_if(pending, [&](const auto& entry) {
      return entry.first == key || (withDescendants && IsUnder(entry.first, key));
    });
  };
  auto write = [&](const Path& path) {
    const std::string key = Key(path);
    drop(key, false);
    pending.emplace_back(key, path);
  };
  const std::size_t end = std::min(endIndex, log_.size());
  for (std::size_t i = 0; i < end; ++i) {
    const FsCall& call = log_[i];
    if (call.result) continue;
    switch (call.op) {
      case FsOp::kCreateDirectory:
      case FsOp::kWriteFile:
        write(call.path);
        break;
      case FsOp::kCopyFile:
        write(call.to);
        break;
      case FsOp::kFlushFile:
        drop(Key(call.path), false);
        break;
      case FsOp::kRemoveFile:
      case FsOp::kRemoveDirectory:
        drop(Key(call.path), true);
        break;
      case FsOp::kRename: {
        const std::string from = Key(call.path);
        const std::string to = Key(call.to);
        drop(to, true);  // whatever stood at the destination is replaced
        for (auto& entry : pending) {
          if (entry.first == from || IsUnder(entry.first, from)) {
            entry.first = to + entry.first.substr(from.size());
            entry.second = Path(entry.first);
          }
        }
        write(call.to);
        break;
      }
      default:
        break;
    }
  }
  std::vector<Path> result;
  for (const auto& entry : pending) {
    if (PathMatches(pattern, entry.second)) result.push_back(entry.second);
  }
  return result;
}

bool FaultInjectingFileSystem::Intercept(FsOp op, const Path& path, const Path& to,
                                         std::error_code& error) {
  if (tHookRunning != this) {
    Hook hook;
    {
      std::lock_guard lock(mutex_);
      hook = hook_;
    }
    if (hook) {
      const FaultInjectingFileSystem* outer = tHookRunning;
      tHookRunning = this;
      hook(op, path);
      tHookRunning = outer;
    }
  }
  if (op == FsOp::kExists) return false;
  std::lock_guard lock(mutex_);
  for (auto it = rules_.begin(); it != rules_.end(); ++it) {
    if (it->op != op) continue;
    const bool matches =
        PathMatches(it->pattern, path) || (op == FsOp::kCopyFile && PathMatches(it->pattern, to));
    if (!matches) continue;
    error = it->error;
    if (it->remaining != kAlways && --it->remaining == 0) rules_.erase(it);
    log_.push_back({op, path, to, error, true});
    return true;
  }
  return false;
}

std::error_code FaultInjectingFileSystem::Record(FsOp op, const Path& path, const Path& to,
                                                 std::error_code result) {
  std::lock_guard lock(mutex_);
  log_.push_back({op, path, to, result, false});
  return result;
}

bool FaultInjectingFileSystem::Exists(const Path& path) {
  std::error_code unused;
  Intercept(FsOp::kExists, path, {}, unused);
  const bool exists = target().Exists(path);
  Record(FsOp::kExists, path, {},
         exists ? std::error_code{} : std::make_error_code(std::errc::no_such_file_or_directory));
  return exists;
}

std::error_code FaultInjectingFileSystem::Status(const Path& path, EntryType& type) {
  std::error_code ec;
  if (Intercept(FsOp::kStatus, path, {}, ec)) return ec;
  return Record(FsOp::kStatus, path, {}, target().Status(path, type));
}

std::error_code FaultInjectingFileSystem::ListDirectory(const Path& path,
                                                        std::vector<DirEntry>& entries) {
  std::error_code ec;
  if (Intercept(FsOp::kListDirectory, path, {}, ec)) {
    entries.clear();
    return ec;
  }
  return Record(FsOp::kListDirectory, path, {}, target().ListDirectory(path, entries));
}

std::error_code FaultInjectingFileSystem::CreateDirectory(const Path& path) {
  std::error_code ec;
  if (Intercept(FsOp::kCreateDirectory, path, {}, ec)) return ec;
  return Record(FsOp::kCreateDirectory, path, {}, target().CreateDirectory(path));
}

std::error_code FaultInjectingFileSystem::RemoveDirectory(const Path& path) {
  std::error_code ec;
  if (Intercept(FsOp::kRemoveDirectory, path, {}, ec)) return ec;
  return Record(FsOp::kRemoveDirectory, path, {}, target().RemoveDirectory(path));
}

std::error_code FaultInjectingFileSystem::RemoveFile(const Path& path) {
  std::error_code ec;
  if (Intercept(FsOp::kRemoveFile, path, {}, ec)) return ec;
  return Record(FsOp::kRemoveFile, path, {}, target().RemoveFile(path));
}

std::error_code FaultInjectingFileSystem::Rename(const Path& from, const Path& to) {
  std::error_code ec;
  if (Intercept(FsOp::kRename, from, to, ec)) return ec;
  return Record(FsOp::kRename, from, to, target().Rename(from, to));
}

std::error_code FaultInjectingFileSystem::CopyFile(const Path& from, const Path& to) {
  std::error_code ec;
  if (Intercept(FsOp::kCopyFile, from, to, ec)) return ec;
  ec = target().CopyFile(from, to);
  if (!ec) CorruptAfterCopy(to);
  return Record(FsOp::kCopyFile, from, to, ec);
}

std::error_code FaultInjectingFileSystem::ReadFile(const Path& path, std::size_t maxBytes,
                                                   std::string& out) {
  std::error_code ec;
  if (Intercept(FsOp::kReadFile, path, {}, ec)) {
    out.clear();
    return ec;
  }
  return Record(FsOp::kReadFile, path, {}, target().ReadFile(path, maxBytes, out));
}

std::error_code FaultInjectingFileSystem::WriteFile(const Path& path, std::string_view data) {
  std::error_code ec;
  if (Intercept(FsOp::kWriteFile, path, {}, ec)) return ec;
  return Record(FsOp::kWriteFile, path, {}, target().WriteFile(path, data));
}

std::error_code FaultInjectingFileSystem::FlushFile(const Path& path) {
  std::error_code ec;
  if (Intercept(FsOp::kFlushFile, path, {}, ec)) return ec;
  return Record(FsOp::kFlushFile, path, {}, target().FlushFile(path));
}

std::error_code FaultInjectingFileSystem::SyncFileSystem(const Path& path) {
  std::error_code ec;
  if (Intercept(FsOp::kSyncFileSystem, path, {}, ec)) return ec;
  return Record(FsOp::kSyncFileSystem, path, {}, target().SyncFileSystem(path));
}

std::error_code FaultInjectingFileSystem::OpenForReading(const Path& path, ReadSource source,
                                                         std::unique_ptr<FileReader>& reader) {
  std::error_code ec;
  if (Intercept(FsOp::kOpenForReading, path, {}, ec)) {
    reader.reset();
    return ec;
  }
  return Record(FsOp::kOpenForReading, path, {}, target().OpenForReading(path, source, reader));
}

}  // namespace vantel3
