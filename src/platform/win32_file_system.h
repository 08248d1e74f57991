// The real file system on the wide Win32 calls (UTF-8 paths inside, UTF-16 at the call).
// Files are copied by a read/write loop, so a copy behaves as the POSIX one does: contents
// only (no attributes, streams or security copied), a read-only source gives a writable
// copy, and copying a file onto itself changes nothing. Windows only.
#pragma once

#include <mutex>
#include <set>
#include <string>

#include "platform/file_system.h"

namespace vantel3 {

class Win32FileSystem final : public FileSystem {
 public:
  bool Exists(const Path& path) override;
  std::error_code Status(const Path& path, EntryType& type) override;
  std::error_code ListDirectory(const Path& path, std::vector<DirEntry>& entries) override;
  std::error_code CreateDirectory(const Path& path) override;
  std::error_code RemoveDirectory(const Path& path) override;
  // A read-only file is removed too, as unlink(2) removes one.
  std::error_code RemoveFile(const Path& path) override;
  // MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH. A folder replaces
  // an empty folder at `to` as rename(2) does; a non-empty one gives errc::file_exists.
  std::error_code Rename(const Path& from, const Path& to) override;
  std::error_code CopyFile(const Path& from, const Path& to) override;
  std::error_code ReadFile(const Path& path, std::size_t maxBytes, std::string& out) override;
  std::error_code WriteFile(const Path& path, std::string_view data) override;
  // FlushFileBuffers on the file. A folder is flushed where Windows lets a folder be opened
  // for writing; where it does not, its entries reach the medium with the flushes of the
  // files in it and of the volume, and this succeeds.
  std::error_code FlushFile(const Path& path) override;
  // FlushFileBuffers on the volume (\\.\E:), which needs administrator rights. Where the
  // volume cannot be opened, every file this object wrote on that volume since its last
  // flush is flushed one by one instead; an error of any of those is the result.
  std::error_code SyncFileSystem(const Path& path) override;

 private:
  // Files written (created, copied to, renamed to) and not yet flushed, as wide paths.
  void NoteWritten(const std::wstring& path);
  void NoteGone(const std::wstring& path);

  std::mutex mutex_;
  std::set<std::wstring> unflushed_;
};

}  // namespace vantel3
