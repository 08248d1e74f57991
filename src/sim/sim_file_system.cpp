#include "sim/sim_file_system.h"

namespace vantel3 {

std::error_code SimFileSystem::Before(bool modifies, const Path& path, const Path* second) {
  device_.Tick();
  if (!modifies) return {};
  if (std::error_code ec = device_.CheckWritable(path)) return ec;
  if (second != nullptr) return device_.CheckWritable(*second);
  return {};
}

bool SimFileSystem::Exists(const Path& path) {
  device_.Tick();
  const bool exists = target().Exists(path);
  device_.Tick();
  return exists;
}

std::error_code SimFileSystem::Status(const Path& path, EntryType& type) {
  return Forward(false, path, nullptr, [&] { return target().Status(path, type); });
}

std::error_code SimFileSystem::ListDirectory(const Path& path, std::vector<DirEntry>& entries) {
  entries.clear();
  return Forward(false, path, nullptr, [&] { return target().ListDirectory(path, entries); });
}

std::error_code SimFileSystem::CreateDirectory(const Path& path) {
  return Forward(true, path, nullptr, [&] { return target().CreateDirectory(path); });
}

std::error_code SimFileSystem::RemoveDirectory(const Path& path) {
  return Forward(true, path, nullptr, [&] { return target().RemoveDirectory(path); });
}

std::error_code SimFileSystem::RemoveFile(const Path& path) {
  return Forward(true, path, nullptr, [&] { return target().RemoveFile(path); });
}

std::error_code SimFileSystem::Rename(const Path& from, const Path& to) {
  return Forward(true, from, &to, [&] { return target().Rename(from, to); });
}

std::error_code SimFileSystem::ReadFile(const Path& path, std::size_t maxBytes, std::string& out) {
  out.clear();
  return Forward(false, path, nullptr, [&] { return target().ReadFile(path, maxBytes, out); });
}

std::error_code SimFileSystem::WriteFile(const Path& path, std::string_view data) {
  return Forward(true, path, nullptr, [&] { return target().WriteFile(path, data); });
}

std::error_code SimFileSystem::FlushFile(const Path& path) {
  return Forward(false, path, nullptr, [&] { return target().FlushFile(path); });
}

std::error_code SimFileSystem::SyncFileSystem(const Path& path) {
  return Forward(false, path, nullptr, [&] { return target().SyncFileSystem(path); });
}

std::error_code SimFileSystem::OpenForReading(const Path& path, ReadSource source,
                                              std::unique_ptr<FileReader>& reader) {
  reader.reset();
  return Forward(false, path, nullptr,
                 [&] { return target().OpenForReading(path, source, reader); });
}

std::error_code SimFileSystem::CopyFile(const Path& from, const Path& to) {
  // Only the destination is written; copying from a read-only drive is fine.
  if (std::error_code ec = Before(true, to)) return ec;
  const std::error_code ec = target().CopyFile(from, to);
  if (!ec) device_.NoteFileCopied(to);
  device_.Tick();
  return ec;
}

}  // namespace vantel3
