#include "platform/log_files.h"

#include <filesystem>
#include <system_error>

namespace vantel3 {

namespace stdfs = std::filesystem;

bool CreateLogFolder(const std::string& folder) {
  std::error_code ec;
  stdfs::create_directories(stdfs::path(folder), ec);
  return stdfs::is_directory(stdfs::path(folder), ec);
}

std::vector<std::string> ListLogFolder(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  stdfs::directory_iterator it(stdfs::path(folder), ec);
  if (ec) return {};
  for (const stdfs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) return {};
    std::error_code typeError;
    if (it->is_regular_file(typeError)) names.push_back(it->path().filename().string());
  }
  return names;
}

bool LogPathExists(const std::string& path) {
  std::error_code ec;
  return stdfs::symlink_status(stdfs::path(path), ec).type() != stdfs::file_type::not_found && !ec;
}

void RemoveLogFile(const std::string& path) {
  std::error_code ignored;
  stdfs::remove(stdfs::path(path), ignored);
}

bool ReadLogFile(const std::string& path, std::size_t maxBytes, std::string& out) {
  out.clear();
  std::ifstream in(stdfs::path(path), std::ios::binary);
  if (!in) return false;
  out.resize(maxBytes);
  in.read(out.data(), static_cast<std::streamsize>(maxBytes));
  out.resize(static_cast<std::size_t>(in.gcount()));
  return !in.bad();
}

int64_t SizeOfFile(const std::string& path) {
  std::error_code ec;
  const auto size = stdfs::file_size(stdfs::path(path), ec);
  return ec ? -1 : static_cast<int64_t>(size);
}

bool AppendOnlyFile::Open(const std::string& path) {
  out_.open(stdfs::path(path), std::ios::binary | std::ios::app);
  return out_.is_open();
}

bool AppendOnlyFile::Append(std::string_view text) {
  if (!out_.is_open()) return false;
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  out_.flush();
  if (out_.good()) return true;
  out_.close();  // nothing more is tried after a failed write
  return false;
}

void AppendOnlyFile::Close() {
  if (out_.is_open()) out_.close();
}

}  // namespace vantel3
