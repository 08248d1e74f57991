// Every file and folder operation the updater performs, behind one interface, so the steps
// run the same on real drives, on temp folders in tests and on the simulated device.
// Errors are std::error_code values; no exception leaves an implementation.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace vantel3 {

using Path = std::filesystem::path;

// A path from the program's UTF-8 text, read as UTF-8 on every system (a plain std::string
// is taken in the system's narrow encoding, which on Windows is not UTF-8). For the
// std::filesystem calls made outside a FileSystem.
inline Path PathFromUtf8(std::string_view utf8) {
  return Path(std::u8string(utf8.begin(), utf8.end()));
}
// The UTF-8 text a path was made from (the inverse of how this system's FileSystem reads it).
std::string PathToUtf8(const Path& path);

enum class EntryType { kFile, kDirectory, kSymlink, kOther };

struct DirEntry {
  std::string name;
  EntryType type;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // True when anything exists at `path` (a link counts itself, even when it dangles).
  virtual bool Exists(const Path& path) = 0;
  // The type of what is at `path`, not following a final link. Error when nothing is there.
  virtual std::error_code Status(const Path& path, EntryType& type) = 0;
  // The entries of a folder other than "." and "..", in the platform's order. On error
  // `entries` is empty (not a folder, missing, unreadable).
  virtual std::error_code ListDirectory(const Path& path, std::vector<DirEntry>& entries) = 0;
  // Creates one folder (the parent must exist). errc::file_exists when something is already
  // there; nothing is changed then.
  virtual std::error_code CreateDirectory(const Path& path) = 0;
  // Removes an empty folder.
  virtual std::error_code RemoveDirectory(const Path& path) = 0;
  // Removes a file or a link (never what a link points to).
  virtual std::error_code RemoveFile(const Path& path) = 0;
  // Moves `from` to `to`, replacing a file at `to`. errc::file_exists (or
  // directory_not_empty) when `to` is a non-empty folder.
  virtual std::error_code Rename(const Path& from, const Path& to) = 0;
  // Copies the contents of the regular file `from` to `to`, creating or replacing `to`.
  // On error a partial `to` may remain.
  virtual std::error_code CopyFile(const Path& from, const Path& to) = 0;
  // Reads at most `maxBytes` bytes from the start of a regular file into `out`. A longer
  // file is not an error: the caller sees out.size() == maxBytes.
  virtual std::error_code ReadFile(const Path& path, std::size_t maxBytes, std::string& out) = 0;
  // Creates or truncates `path`, writes `data` in full and closes it. Not flushed.
  virtual std::error_code WriteFile(const Path& path, std::string_view data) = 0;
  // Makes the file or folder at `path` durable on its medium (fsync).
  virtual std::error_code FlushFile(const Path& path) = 0;
  // Writes every cached change of the file system that holds `path` to its medium (syncfs).
  virtual std::error_code SyncFileSystem(const Path& path) = 0;
};

// Passes every call to another file system; wrappers derive from it and override only the
// operations they change.
class ForwardingFileSystem : public FileSystem {
 public:
  explicit ForwardingFileSystem(FileSystem& target) : target_(target) {}

  bool Exists(const Path& path) override { return target_.Exists(path); }
  std::error_code Status(const Path& path, EntryType& type) override {
    return target_.Status(path, type);
  }
  std::error_code ListDirectory(const Path& path, std::vector<DirEntry>& entries) override {
    return target_.ListDirectory(path, entries);
  }
  std::error_code CreateDirectory(const Path& path) override {
    return target_.CreateDirectory(path);
  }
  std::error_code RemoveDirectory(const Path& path) override {
    return target_.RemoveDirectory(path);
  }
  std::error_code RemoveFile(const Path& path) override { return target_.RemoveFile(path); }
  std::error_code Rename(const Path& from, const Path& to) override {
    return target_.Rename(from, to);
  }
  std::error_code CopyFile(const Path& from, const Path& to) override {
    return target_.CopyFile(from, to);
  }
  std::error_code ReadFile(const Path& path, std::size_t maxBytes, std::string& out) override {
    return target_.ReadFile(path, maxBytes, out);
  }
  std::error_code WriteFile(const Path& path, std::string_view data) override {
    return target_.WriteFile(path, data);
  }
  std::error_code FlushFile(const Path& path) override { return target_.FlushFile(path); }
  std::error_code SyncFileSystem(const Path& path) override { return target_.SyncFileSystem(path); }

 protected:
  FileSystem& target() { return target_; }

 private:
  FileSystem& target_;
};

}  // namespace vantel3
