// The real file system, on POSIX calls. File contents are copied with the kernel's
// copy offload (copy_file_range), falling back to read/write where it is not supported.
// A read from the medium drops the file's cached pages first (posix_fadvise DONTNEED) and
// again when the reader is done, so a check of a copy neither reads nor leaves it cached.
#pragma once

#include "platform/file_system.h"

namespace vantel3 {

class PosixFileSystem final : public FileSystem {
 public:
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
};

}  // namespace vantel3
