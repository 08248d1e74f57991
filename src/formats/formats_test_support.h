// Test helpers for the format units: a temporary folder that is removed afterwards, file
// contents in and out, and a file system wrapper that fails chosen operations and logs calls.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file_system.h"
#include "platform/process.h"

namespace vantel3::testing {

class TempDir {
 public:
  TempDir() {
    std::string folder;
    std::string error;
    if (MakeTempFolder("vantel3-formats-", folder, error) == 0) std::abort();
    path_ = folder;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder as a device root: its path with a trailing "/".
  std::string Root() const { return path_.string() + "/"; }
  std::filesystem::path Path(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Logs every mutating or flushing call as "Op path" and fails the calls `failWhen` picks
// (given the operation's name and path) with permission_denied, without passing them on.
class ScriptedFileSystem : public ForwardingFileSystem {
 public:
  using FailWhen = std::function<bool(const std::string& op, const std::string& path)>;
  ScriptedFileSystem(FileSystem& target, FailWhen failWhen = nullptr)
      : ForwardingFileSystem(target), failWhen_(std::move(failWhen)) {}

  std::vector<std::string> log;
  std::size_t lastReadMaxBytes = 0;

  std::error_code CreateDirectory(const Path& path) override {
    return Run("CreateDirectory", path, [&] { return target().CreateDirectory(path); });
  }
  std::error_code RemoveDirectory(const Path& path) override {
    return Run("RemoveDirectory", path, [&] { return target().RemoveDirectory(path); });
  }
  std::error_code RemoveFile(const Path& path) override {
    return Run("RemoveFile", path, [&] { return target().RemoveFile(path); });
  }
  std::error_code Rename(const Path& from, const Path& to) override {
    return Run("Rename", from, [&] { return target().Rename(from, to); });
  }
  std::error_code ReadFile(const Path& path, std::size_t maxBytes, std::string& out) override {
    lastReadMaxBytes = maxBytes;
    return Run("ReadFile", path, [&] { return target().ReadFile(path, maxBytes, out); });
  }
  std::error_code WriteFile(const Path& path, std::string_view data) override {
    return Run("WriteFile", path, [&] { return target().WriteFile(path, data); });
  }
  std::error_code FlushFile(const Path& path) override {
    return Run("FlushFile", path, [&] { return target().FlushFile(path); });
  }
  std::error_code SyncFileSystem(const Path& path) override {
    return Run("SyncFileSystem", path, [&] { return target().SyncFileSystem(path); });
  }

 private:
  template <typename Call>
  std::error_code Run(const char* op, const Path& path, Call call) {
    log.push_back(std::string(op) + " " + path.string());
    if (failWhen_ && failWhen_(op, path.string())) {
      return std::make_error_code(std::errc::permission_denied);
    }
    return call();
  }

  FailWhen failWhen_;
};

}  // namespace vantel3::testing
