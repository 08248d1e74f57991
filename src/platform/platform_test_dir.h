// A fresh temporary folder for one test, removed with everything in it when the test ends.
// Test-only; the platform tests build their fixture trees (files, links, sysfs snapshots) in it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/process.h"

namespace vantel3 {

class PlatformTestDir {
 public:
  PlatformTestDir() {
    std::string folder;
    std::string error;
    if (MakeTempFolder("vantel3-platform-", folder, error) == 0) ADD_FAILURE() << error;
    path_ = folder;
  }
  ~PlatformTestDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  PlatformTestDir(const PlatformTestDir&) = delete;
  PlatformTestDir& operator=(const PlatformTestDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Writes `content` to `file`, creating the folders above it.
inline void WriteTestFile(const std::filesystem::path& file, std::string_view content) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) ADD_FAILURE() << "cannot write " << file;
}

// The whole content of `file` (empty when it cannot be read).
inline std::string ReadTestFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace vantel3
