#include "sim/sim_file_system.h"

#include <utility>

namespace vantel3 {

SimFileSystem::SimFileSystem(FileSystem& target, SimulatedDevice* device,
                             std::vector<FileFault> faults)
    : ForwardingFileSystem(target), device_(device) {
  for (FileFault& fault : faults) rules_.push_back({std::move(fault), 0});
}

int SimFileSystem::InjectedFailures() {
  std::lock_guard lock(mutex_);
  return injected_;
}

std::error_code SimFileSystem::Inject(FileOp op, const Path& path, const Path* second) {
  std::lock_guard lock(mutex_);
  for (Rule& rule : rules_) {
    const FileFault& f = rule.fault;
    if (f.op != FileOp::kAny && f.op != op) continue;
    const bool pathMatches =
        path.string().find(f.pathContains) != std::string::npos ||
        (second != nullptr && second->string().find(f.pathContains) != std::string::npos);
    if (!pathMatches) continue;
    const uint32_t n = rule.matched++;
    if (n < f.skip) continue;
    if (f.times && n - f.skip >= *f.times) continue;
    ++injected_;
    return f.error;
  }
  return {};
}

std::error_code SimFileSystem::Before(FileOp op, bool modifies, const Path& path,
                                      const Path* second) {
  if (device_ != nullptr) device_->Tick();
  if (std::error_code ec = Inject(op, path, second)) return ec;
  if (modifies && device_ != nullptr) {
    if (std::error_code ec = device_->CheckWritable(path)) return ec;
    if (second != nullptr) {
      if (std::error_code ec = device_->CheckWritable(*second)) return ec;
    }
  }
  return {};
}

void SimFileSystem::After() {
  // A marker written by this call is seen at once, at the time it was written.
  if (device_ != nullptr) device_->Tick();
}

bool SimFileSystem::Exists(const Path& path) {
  if (Before(FileOp::kExists, false, path)) return false;
  const bool exists = target().Exists(path);
  After();
  return exists;
}

std::error_code SimFileSystem::Status(const Path& path, EntryType& type) {
  if (std::error_code ec = Before(FileOp::kStatus, false, path)) return ec;
  const std::error_code ec = target().Status(path, type);
  After();
  return ec;
}

std::error_code SimFileSystem::ListDirectory(const Path& path, std::vector<DirEntry>& entries) {
  if (std::error_code ec = Before(FileOp::kListDirectory, false, path)) {
    entries.clear();
    return ec;
  }
  const std::error_code ec = target().ListDirectory(path, entries);
  After();
  return ec;
}

std::error_code SimFileSystem::CreateDirectory(const Path& path) {
  if (std::error_code ec = Before(FileOp::kCreateDirectory, true, path)) return ec;
  const std::error_code ec = target().CreateDirectory(path);
  After();
  return ec;
}

std::error_code SimFileSystem::RemoveDirectory(const Path& path) {
  if (std::error_code ec = Before(FileOp::kRemoveDirectory, true, path)) return ec;
  const std::error_code ec = target().RemoveDirectory(path);
  After();
  return ec;
}

std::error_code SimFileSystem::RemoveFile(const Path& path) {
  if (std::error_code ec = Before(FileOp::kRemoveFile, true, path)) return ec;
  const std::error_code ec = target().RemoveFile(path);
  After();
  return ec;
}

std::error_code SimFileSystem::Rename(const Path& from, const Path& to) {
  if (std::error_code ec = Before(FileOp::kRename, true, from, &to)) return ec;
  const std::error_code ec = target().Rename(from, to);
  After();
  return ec;
}

std::error_code SimFileSystem::CopyFile(const Path& from, const Path& to) {
  // Only the destination is written; a copy from a read-only drive is fine.
  if (device_ != nullptr) device_->Tick();
  if (std::error_code ec = Inject(FileOp::kCopyFile, from, &to)) return ec;
  if (device_ != nullptr) {
    if (std::error_code ec = device_->CheckWritable(to)) return ec;
  }
  const std::error_code ec = target().CopyFile(from, to);
  if (!ec && device_ != nullptr) device_->NoteFileCopied(to);
  After();
  return ec;
}

std::error_code SimFileSystem::ReadFile(const Path& path, std::size_t maxBytes, std::string& out) {
  if (std::error_code ec = Before(FileOp::kReadFile, false, path)) {
    out.clear();
    return ec;
  }
  const std::error_code ec = target().ReadFile(path, maxBytes, out);
  After();
  return ec;
}

std::error_code SimFileSystem::WriteFile(const Path& path, std::string_view data) {
  if (std::error_code ec = Before(FileOp::kWriteFile, true, path)) return ec;
  const std::error_code ec = target().WriteFile(path, data);
  After();
  return ec;
}

std::error_code SimFileSystem::FlushFile(const Path& path) {
  if (std::error_code ec = Before(FileOp::kFlushFile, false, path)) return ec;
  const std::error_code ec = target().FlushFile(path);
  After();
  return ec;
}

std::error_code SimFileSystem::SyncFileSystem(const Path& path) {
  if (std::error_code ec = Before(FileOp::kSyncFileSystem, false, path)) return ec;
  const std::error_code ec = target().SyncFileSystem(path);
  After();
  return ec;
}

}  // namespace vantel3
