#include "platform/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace vantel3 {

namespace {

std::error_code LastError() {
  return {errno, std::generic_category()};
}

// Closes a descriptor on every path out of a function.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Closes now and reports the close's own error (a write error may only show here).
  std::error_code Close() {
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0) return LastError();
    return {};
  }

 private:
  int fd_;
};

// Every open is non-blocking: opening a FIFO (or a serial device) for reading or writing
// would otherwise wait, possibly for ever, for the other end. Regular files and folders
// ignore the flag; the callers refuse what is not a regular file or a folder after fstat.
int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::error_code WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return {};
}

// Plain read/write copy for file systems without copy offload between them.
std::error_code CopyByReadWrite(int in, int out) {
  constexpr std::size_t kBufferSize = 1 << 20;
  std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  for (;;) {
    const ssize_t n = ::read(in, buffer.get(), kBufferSize);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (n == 0) return {};
    if (auto ec = WriteAll(out, buffer.get(), static_cast<std::size_t>(n))) return ec;
  }
}

EntryType TypeOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryType::kFile;
  if (S_ISDIR(mode)) return EntryType::kDirectory;
  if (S_ISLNK(mode)) return EntryType::kSymlink;
  return EntryType::kOther;
}

}  // namespace

std::string PathToUtf8(const Path& path) {
  return path.string();
}

bool PosixFileSystem::Exists(const Path& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::error_code PosixFileSystem::Status(const Path& path, EntryType& type) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return LastError();
  type = TypeOf(st.st_mode);
  return {};
}

std::error_code PosixFileSystem::ListDirectory(const Path& path, std::vector<DirEntry>& entries) {
  entries.clear();
  const int fd = OpenRetrying(path.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return LastError();
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    auto ec = LastError();
    ::close(fd);
    return ec;
  }
  std::error_code result;
  for (;;) {
    errno = 0;
    struct dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      if (errno != 0) result = LastError();
      break;
    }
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    EntryType type;
    switch (entry->d_type) {
      case DT_REG:
        type = EntryType::kFile;
        break;
      case DT_DIR:
        type = EntryType::kDirectory;
        break;
      case DT_LNK:
        type = EntryType::kSymlink;
        break;
      case DT_UNKNOWN: {
        // Some file systems (and FUSE mounts) do not fill d_type.
        struct stat st;
        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
          type = EntryType::kOther;
        } else {
          type = TypeOf(st.st_mode);
        }
        break;
      }
      default:
        type = EntryType::kOther;
        break;
    }
    entries.push_back({name, type});
  }
  ::closedir(dir);
  if (result) entries.clear();
  return result;
}

std::error_code PosixFileSystem::CreateDirectory(const Path& path) {
  if (::mkdir(path.c_str(), 0755) != 0) return LastError();
  return {};
}

std::error_code PosixFileSystem::RemoveDirectory(const Path& path) {
  if (::rmdir(path.c_str()) != 0) return LastError();
  return {};
}

std::error_code PosixFileSystem::RemoveFile(const Path& path) {
  if (::unlink(path.c_str()) != 0) return LastError();
  return {};
}

std::error_code PosixFileSystem::Rename(const Path& from, const Path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    if (errno == ENOTEMPTY) return std::make_error_code(std::errc::file_exists);
    return LastError();
  }
  return {};
}

std::error_code PosixFileSystem::CopyFile(const Path& from, const Path& to) {
  Fd in(OpenRetrying(from.c_str(), O_RDONLY));
  if (!in.ok()) return LastError();
  struct stat st;
  if (::fstat(in.get(), &st) != 0) return LastError();
  if (!S_ISREG(st.st_mode)) return std::make_error_code(std::errc::invalid_argument);
  // Opened without truncating: when `to` is `from` itself (the same name, a hard link or a
  // link to it), truncating would destroy the source. Nothing is changed then.
  Fd out(OpenRetrying(to.c_str(), O_WRONLY | O_CREAT, 0644));
  if (!out.ok()) return LastError();
  struct stat outSt;
  if (::fstat(out.get(), &outSt) != 0) return LastError();
  // A pipe or device at the destination is no file to copy into.
  if (!S_ISREG(outSt.st_mode)) return std::make_error_code(std::errc::invalid_argument);
  if (outSt.st_dev == st.st_dev && outSt.st_ino == st.st_ino) {
    return std::make_error_code(std::errc::invalid_argument);
  }
  // A new (empty) file is not truncated: on ext4 a truncation to zero marks the file for
  // "replace by truncate", which makes its close start writing it back at once, file by
  // file, instead of leaving it to the one flush of the whole drive.
  if (outSt.st_size != 0 && ::ftruncate(out.get(), 0) != 0) return LastError();

  bool offload = true;
  bool copiedAny = false;
  for (;;) {
    const ssize_t n = ::copy_file_range(in.get(), nullptr, out.get(), nullptr, 1 << 30, 0);
    if (n > 0) {
      copiedAny = true;
      continue;
    }
    // Some kernels answer 0 at once for files whose size they do not know (/proc, /sys);
    // read/write tells an empty file from those.
    if (n == 0) {
      offload = copiedAny;
      break;
    }
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
        errno == EPERM) {
      offload = false;
      break;
    }
    return LastError();
  }
  if (!offload) {
    // Start again from the beginning, whatever the kernel copied before it gave up.
    if (::lseek(in.get(), 0, SEEK_SET) < 0 || ::lseek(out.get(), 0, SEEK_SET) < 0 ||
        ::ftruncate(out.get(), 0) != 0) {
      return LastError();
    }
    if (auto ec = CopyByReadWrite(in.get(), out.get())) return ec;
  }
  return out.Close();
}

std::error_code PosixFileSystem::ReadFile(const Path& path, std::size_t maxBytes,
                                          std::string& out) {
  out.clear();
  Fd fd(OpenRetrying(path.c_str(), O_RDONLY));
  if (!fd.ok()) return LastError();
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return LastError();
  if (S_ISDIR(st.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  // A pipe, socket or device would block or never end; only regular files are read.
  if (!S_ISREG(st.st_mode)) return std::make_error_code(std::errc::invalid_argument);
  // Read in one go when the size is known; files of /proc and /sys say 0 and are read as
  // they come, the buffer growing on the way.
  const std::size_t firstGuess =
      st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : std::size_t{4096};
  out.resize(std::min(maxBytes, firstGuess));
  std::size_t got = 0;
  while (got < maxBytes) {
    if (got == out.size()) out.resize(std::min(maxBytes, out.size() * 2 + 64));
    const ssize_t n = ::read(fd.get(), out.data() + got, out.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      auto ec = LastError();
      out.clear();
      return ec;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  out.resize(got);
  return {};
}

std::error_code PosixFileSystem::WriteFile(const Path& path, std::string_view data) {
  Fd fd(OpenRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
  if (!fd.ok()) return LastError();
  if (auto ec = WriteAll(fd.get(), data.data(), data.size())) return ec;
  return fd.Close();
}

std::error_code PosixFileSystem::FlushFile(const Path& path) {
  Fd fd(OpenRetrying(path.c_str(), O_RDONLY));
  if (!fd.ok()) return LastError();
  if (::fsync(fd.get()) != 0) return LastError();
  return fd.Close();
}

std::error_code PosixFileSystem::SyncFileSystem(const Path& path) {
  Fd fd(OpenRetrying(path.c_str(), O_RDONLY));
  if (!fd.ok()) return LastError();
  if (::syncfs(fd.get()) != 0) return LastError();
  return fd.Close();
}

}  // namespace vantel3
