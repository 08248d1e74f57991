#include "sim/sim_kill_switch.h"

#include <charconv>
#include <cstdlib>

#include "platform/process.h"

namespace vantel3 {

int ParseSimKillAt(const std::string& text, SimKillSwitchConfig& config) {
  const bool inside = !text.empty() && text.back() == '+';
  const char* begin = text.data();
  const char* end = text.data() + text.size() - (inside ? 1 : 0);
  uint64_t n = 0;
  const auto [stop, ec] = std::from_chars(begin, end, n);
  if (ec != std::errc() || stop != end || n == 0) return 0;
  config.killAtCall = n;
  config.inside = inside;
  return 1;
}

SimKillSwitchConfig SimKillSwitchFromEnvironment() {
  SimKillSwitchConfig config;
  if (const char* kill = std::getenv(kSimKillAtCallVariable); kill != nullptr) {
    (void)ParseSimKillAt(kill, config);
  }
  if (const char* trace = std::getenv(kSimCallTraceVariable); trace != nullptr) {
    config.tracePath = trace;
  }
  return config;
}

SimKillSwitch::SimKillSwitch(FileSystem& target, SimKillSwitchConfig config)
    : ForwardingFileSystem(target), config_(std::move(config)) {
  if (!config_.tracePath.empty()) trace_ = std::fopen(config_.tracePath.c_str(), "a");
}

SimKillSwitch::~SimKillSwitch() {
  if (trace_ != nullptr) std::fclose(trace_);
}

void SimKillSwitch::Die() {
  if (trace_ != nullptr) std::fflush(trace_);
  KillThisProcess();
}

bool SimKillSwitch::Enter(const char* op, const Path& path, const Path* to) {
  ++count_;
  if (trace_ != nullptr) {
    std::fprintf(trace_, "%llu %s %s%s%s\n", static_cast<unsigned long long>(count_), op,
                 path.string().c_str(), to != nullptr ? " -> " : "",
                 to != nullptr ? to->string().c_str() : "");
    std::fflush(trace_);
  }
  if (count_ != config_.killAtCall) return false;
  if (!config_.inside) Die();
  return true;
}

bool SimKillSwitch::Exists(const Path& path) {
  const bool dies = Enter("Exists", path);
  const bool exists = target().Exists(path);
  if (dies) Die();
  return exists;
}

std::error_code SimKillSwitch::Status(const Path& path, EntryType& type) {
  const bool dies = Enter("Status", path);
  const std::error_code ec = target().Status(path, type);
  if (dies) Die();
  return ec;
}

std::error_code SimKillSwitch::ListDirectory(const Path& path, std::vector<DirEntry>& entries) {
  const bool dies = Enter("ListDirectory", path);
  const std::error_code ec = target().ListDirectory(path, entries);
  if (dies) Die();
  return ec;
}

std::error_code SimKillSwitch::CreateDirectory(const Path& path) {
  const bool dies = Enter("CreateDirectory", path);
  const std::error_code ec = target().CreateDirectory(path);
  if (dies) Die();
  return ec;
}

std::error_code SimKillSwitch::RemoveDirectory(const Path& path) {
  const bool dies = Enter("RemoveDirectory", path);
  const std::error_code ec = target().RemoveDirectory(path);
  if (dies) Die();
  return ec;
}

std::error_code SimKillSwitch::RemoveFile(const Path& path) {
  const bool dies = Enter("RemoveFile", path);
  const std::error_code ec = target().RemoveFile(path);
  if (dies) Die();
  return ec;
}

std::error_code SimKillSwitch::Rename(const Path& from, const Path& to) {
  const bool dies = Enter("Rename", from, &to);
  const std::error_code ec = target().Rename(from, to);
  if (dies) Die();
  return ec;
}

std::error_code SimKillSwitch::CopyFile(const Path& from, const Path& to) {
  if (Enter("CopyFile", from, &to)) {
    // Half of the source reaches the destination before the process dies.
    std::string bytes;
    if (!target().ReadFile(from, 64 * 1024 * 1024, bytes)) {
      (void)target().WriteFile(to, std::string_view(bytes).substr(0, bytes.size() / 2));
    }
    Die();
  }
  return target().CopyFile(from, to);
}

std::error_code SimKillSwitch::ReadFile(const Path& path, std::size_t maxBytes, std::string& out) {
  const bool dies = Enter("ReadFile", path);
  const std::error_code ec = target().ReadFile(path, maxBytes, out);
  if (dies) Die();
  return ec;
}

std::error_code SimKillSwitch::WriteFile(const Path& path, std::string_view data) {
  if (Enter("WriteFile", path)) {
    (void)target().WriteFile(path, data.substr(0, data.size() / 2));
    Die();
  }
  return target().WriteFile(path, data);
}

std::error_code SimKillSwitch::FlushFile(const Path& path) {
  const bool dies = Enter("FlushFile", path);
  const std::error_code ec = target().FlushFile(path);
  if (dies) Die();
  return ec;
}

std::error_code SimKillSwitch::SyncFileSystem(const Path& path) {
  const bool dies = Enter("SyncFileSystem", path);
  const std::error_code ec = target().SyncFileSystem(path);
  if (dies) Die();
  return ec;
}

}  // namespace vantel3
