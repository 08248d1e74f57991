#include <windows.h>
// <windows.h> names these as macros; the file system's methods have the same names.
#undef CreateDirectory
#undef RemoveDirectory
#undef CopyFile

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/win32_file_system.h"
#include "platform/win32_text.h"

namespace vantel3 {

namespace {

// Closes a handle on every path out of a function.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (ok()) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  // Gives up the handle without closing it.
  HANDLE release() {
    HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return h;
  }
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  // Closes now and reports the close's own error.
  std::error_code Close() {
    HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (h != INVALID_HANDLE_VALUE && h != nullptr && !::CloseHandle(h)) return LastWin32Error();
    return {};
  }

 private:
  HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

DWORD Attributes(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str());
}

EntryType TypeOf(DWORD attributes) {
  // A reparse point (symbolic link, junction) is a link: never followed.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryType::kSymlink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryType::kDirectory;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryType::kOther;
  return EntryType::kFile;
}

HANDLE OpenToRead(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Opens (creating when missing) a regular file for writing, without truncating it.
HANDLE OpenForWriting(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::error_code WriteAll(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr)) return LastWin32Error();
    if (written == 0) return std::make_error_code(std::errc::io_error);
    data += written;
    size -= written;
  }
  return {};
}

std::error_code Truncate(HANDLE file) {
  LARGE_INTEGER zero{};
  if (!::SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) || !::SetEndOfFile(file)) {
    return LastWin32Error();
  }
  return {};
}

bool IsDiskFile(HANDLE file) {
  return ::GetFileType(file) == FILE_TYPE_DISK;
}

// "E:\" for a path on E: (the mount point of the volume that holds the path).
std::wstring VolumeRootOf(const std::wstring& path) {
  std::wstring root(MAX_PATH + 1, L'\0');
  if (!::GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
    return {};
  }
  root.resize(::wcslen(root.c_str()));
  return root;
}

// The full path with backslashes, so that files can be matched to the volume they are on.
std::wstring FolderKey(const std::wstring& path) {
  std::wstring full(MAX_PATH + 1, L'\0');
  DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n >= full.size()) {
    full.resize(n + 1);
    n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (n == 0 || n >= full.size())
    full = path;
  else
    full.resize(n);
  for (wchar_t& c : full) {
    if (c == L'/') c = L'\\';
  }
  return full;
}

std::error_code FlushOne(const std::wstring& path, bool folder) {
  Handle h(::CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                         folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr));
  if (!h.ok()) return LastWin32Error();
  if (!::FlushFileBuffers(h.get())) return LastWin32Error();
  return h.Close();
}

}  // namespace

void Win32FileSystem::NoteWritten(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  unflushed_.insert(FolderKey(path));
}

void Win32FileSystem::NoteGone(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  unflushed_.erase(FolderKey(path));
}

bool Win32FileSystem::Exists(const Path& path) {
  return Attributes(WidePath(path)) != INVALID_FILE_ATTRIBUTES;
}

std::error_code Win32FileSystem::Status(const Path& path, EntryType& type) {
  const DWORD attributes = Attributes(WidePath(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastWin32Error();
  type = TypeOf(attributes);
  return {};
}

std::error_code Win32FileSystem::ListDirectory(const Path& path, std::vector<DirEntry>& entries) {
  entries.clear();
  std::wstring folder = WidePath(path);
  const DWORD attributes = Attributes(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastWin32Error();
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::make_error_code(std::errc::not_a_directory);
  }
  if (folder.empty() || (folder.back() != L'\\' && folder.back() != L'/')) folder += L'\\';
  folder += L'*';
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileExW(folder.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // An empty drive root has not even "." and "..".
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return {};
    return Win32Error(error);
  }
  std::error_code result;
  do {
    const std::wstring_view name(data.cFileName);
    if (name == L"." || name == L"..") continue;
    entries.push_back({Narrow(name), TypeOf(data.dwFileAttributes)});
  } while (::FindNextFileW(find, &data));
  if (const DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES) {
    result = Win32Error(error);
  }
  ::FindClose(find);
  if (result) entries.clear();
  return result;
}

std::error_code Win32FileSystem::CreateDirectory(const Path& path) {
  if (!::CreateDirectoryW(WidePath(path).c_str(), nullptr)) return LastWin32Error();
  return {};
}

std::error_code Win32FileSystem::RemoveDirectory(const Path& path) {
  if (!::RemoveDirectoryW(WidePath(path).c_str())) return LastWin32Error();
  return {};
}

std::error_code Win32FileSystem::RemoveFile(const Path& path) {
  const std::wstring file = WidePath(path);
  const DWORD attributes = Attributes(file);
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastWin32Error();
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    // A link to a folder is removed as a folder; a real folder is no file.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return std::make_error_code(std::errc::is_a_directory);
    }
    if (!::RemoveDirectoryW(file.c_str())) return LastWin32Error();
    return {};
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    ::SetFileAttributesW(file.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
  if (!::DeleteFileW(file.c_str())) {
    const std::error_code ec = LastWin32Error();
    if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(file.c_str(), attributes);
    return ec;
  }
  NoteGone(file);
  return {};
}

std::error_code Win32FileSystem::Rename(const Path& from, const Path& to) {
  const std::wstring source = WidePath(from);
  const std::wstring target = WidePath(to);
  const DWORD sourceAttributes = Attributes(source);
  const DWORD targetAttributes = Attributes(target);
  if (sourceAttributes != INVALID_FILE_ATTRIBUTES && targetAttributes != INVALID_FILE_ATTRIBUTES &&
      (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !(targetAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (!(sourceAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return std::make_error_code(std::errc::is_a_directory);
    }
    // Windows never moves over a folder; rename(2) replaces an empty one.
    if (!::RemoveDirectoryW(target.c_str())) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_DIR_NOT_EMPTY) return std::make_error_code(std::errc::file_exists);
      return Win32Error(error);
    }
  }
  if (!::MoveFileExW(source.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastWin32Error();
  }
  {
    std::lock_guard lock(mutex_);
    if (unflushed_.erase(FolderKey(source)) != 0) unflushed_.insert(FolderKey(target));
  }
  return {};
}

std::error_code Win32FileSystem::CopyFile(const Path& from, const Path& to) {
  const std::wstring source = WidePath(from);
  const std::wstring target = WidePath(to);
  const DWORD attributes = Attributes(source);
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastWin32Error();
  if (TypeOf(attributes) != EntryType::kFile) {
    return std::make_error_code(std::errc::invalid_argument);
  }
  Handle in(OpenToRead(source));
  if (!in.ok()) return LastWin32Error();
  if (!IsDiskFile(in.get())) return std::make_error_code(std::errc::invalid_argument);
  // Opened without truncating: when `to` is `from` itself (the same name or a hard link),
  // truncating would destroy the source. Nothing is changed then.
  Handle out(OpenForWriting(target));
  if (!out.ok()) return LastWin32Error();
  if (!IsDiskFile(out.get())) return std::make_error_code(std::errc::invalid_argument);
  BY_HANDLE_FILE_INFORMATION inInfo;
  BY_HANDLE_FILE_INFORMATION outInfo;
  if (!::GetFileInformationByHandle(in.get(), &inInfo) ||
      !::GetFileInformationByHandle(out.get(), &outInfo)) {
    return LastWin32Error();
  }
  if (inInfo.dwVolumeSerialNumber == outInfo.dwVolumeSerialNumber &&
      inInfo.nFileIndexHigh == outInfo.nFileIndexHigh &&
      inInfo.nFileIndexLow == outInfo.nFileIndexLow) {
    return std::make_error_code(std::errc::invalid_argument);
  }
  NoteWritten(target);
  if (auto ec = Truncate(out.get())) return ec;
  constexpr DWORD kBufferSize = 1 << 20;
  std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(in.get(), buffer.get(), kBufferSize, &got, nullptr)) return LastWin32Error();
    if (got == 0) break;
    if (auto ec = WriteAll(out.get(), buffer.get(), got)) return ec;
  }
  return out.Close();
}

std::error_code Win32FileSystem::ReadFile(const Path& path, std::size_t maxBytes,
                                          std::string& out) {
  out.clear();
  const std::wstring file = WidePath(path);
  const DWORD attributes = Attributes(file);
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastWin32Error();
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    return std::make_error_code(std::errc::is_a_directory);
  }
  Handle h(OpenToRead(file));
  if (!h.ok()) return LastWin32Error();
  // A pipe or a device would block or never end; only files on a disk are read.
  if (!IsDiskFile(h.get())) return std::make_error_code(std::errc::invalid_argument);
  LARGE_INTEGER size{};
  std::size_t guess = 4096;
  if (::GetFileSizeEx(h.get(), &size) && size.QuadPart > 0) {
    guess = static_cast<std::size_t>(size.QuadPart);
  }
  out.resize(std::min(maxBytes, guess));
  std::size_t got = 0;
  while (got < maxBytes) {
    if (got == out.size()) out.resize(std::min(maxBytes, out.size() * 2 + 64));
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - got, 1u << 30));
    DWORD n = 0;
    if (!::ReadFile(h.get(), out.data() + got, want, &n, nullptr)) {
      auto ec = LastWin32Error();
      out.clear();
      return ec;
    }
    if (n == 0) break;
    got += n;
  }
  out.resize(got);
  return {};
}

std::error_code Win32FileSystem::WriteFile(const Path& path, std::string_view data) {
  const std::wstring file = WidePath(path);
  Handle h(OpenForWriting(file));
  if (!h.ok()) return LastWin32Error();
  if (!IsDiskFile(h.get())) return std::make_error_code(std::errc::invalid_argument);
  NoteWritten(file);
  if (auto ec = Truncate(h.get())) return ec;
  if (auto ec = WriteAll(h.get(), data.data(), data.size())) return ec;
  return h.Close();
}

std::error_code Win32FileSystem::FlushFile(const Path& path) {
  const std::wstring file = WidePath(path);
  const DWORD attributes = Attributes(file);
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastWin32Error();
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::error_code ec = FlushOne(file, folder);
  if (folder && ec &&
      (ec == std::errc::permission_denied || ec == std::errc::operation_not_supported ||
       ec == std::errc::invalid_argument)) {
    return {};
  }
  if (!ec) NoteGone(file);
  return ec;
}

std::error_code Win32FileSystem::SyncFileSystem(const Path& path) {
  const std::wstring root = VolumeRootOf(WidePath(path));
  if (root.empty()) return LastWin32Error();
  // "E:\" -> "\\.\E:"; a volume mounted in a folder is opened by its GUID name.
  std::wstring device;
  if (root.size() == 3 && root[1] == L':') {
    device = L"\\\\.\\" + root.substr(0, 2);
  } else {
    wchar_t name[MAX_PATH + 1];
    if (::GetVolumeNameForVolumeMountPointW(root.c_str(), name, MAX_PATH + 1)) {
      device = name;
      if (!device.empty() && device.back() == L'\\') device.pop_back();
    }
  }
  if (!device.empty()) {
    Handle volume(::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
    if (volume.ok() && ::FlushFileBuffers(volume.get())) {
      std::lock_guard lock(mutex_);
      const std::wstring key = FolderKey(root);
      for (auto it = unflushed_.begin(); it != unflushed_.end();) {
        if (_wcsnicmp(it->c_str(), key.c_str(), key.size()) == 0) {
          it = unflushed_.erase(it);
        } else {
          ++it;
        }
      }
      return {};
    }
  }
  // No volume handle (no administrator rights): the files themselves, one by one.
  std::vector<std::wstring> files;
  {
    std::lock_guard lock(mutex_);
    const std::wstring key = FolderKey(root);
    for (const std::wstring& file : unflushed_) {
      if (_wcsnicmp(file.c_str(), key.c_str(), key.size()) == 0) files.push_back(file);
    }
  }
  std::error_code result;
  for (const std::wstring& file : files) {
    std::error_code ec = FlushOne(file, false);
    // A file removed or renamed since is no longer there to flush. A library this process
    // has loaded since it wrote it cannot be opened for writing any more; Windows wrote it
    // out when it mapped it.
    if (ec == std::errc::no_such_file_or_directory) ec.clear();
    if (ec == std::errc::device_or_resource_busy && ::GetModuleHandleW(file.c_str()) != nullptr) {
      ec.clear();
    }
    if (ec) {
      if (!result) result = ec;
      continue;
    }
    std::lock_guard lock(mutex_);
    unflushed_.erase(file);
  }
  return result;
}

namespace {

// Reads a whole file in parts of one buffer. Unbuffered reads need a buffer, a size and a
// file offset aligned to the volume's sector; VirtualAlloc's pages and 1 MiB parts are
// aligned to any sector size there is, and the reads go on from where the last one ended.
class Win32FileReader final : public FileReader {
 public:
  explicit Win32FileReader(HANDLE file) : file_(file) {
    buffer_ = static_cast<char*>(
        ::VirtualAlloc(nullptr, kPart, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  }
  ~Win32FileReader() override {
    if (buffer_ != nullptr) ::VirtualFree(buffer_, 0, MEM_RELEASE);
  }
  Win32FileReader(const Win32FileReader&) = delete;
  Win32FileReader& operator=(const Win32FileReader&) = delete;

  std::error_code Next(std::string_view& chunk) override {
    chunk = {};
    if (failed_ || ended_)
      return failed_ ? std::make_error_code(std::errc::io_error) : std::error_code();
    if (buffer_ == nullptr) {
      failed_ = true;
      return std::make_error_code(std::errc::not_enough_memory);
    }
    DWORD got = 0;
    if (!::ReadFile(file_.get(), buffer_, kPart, &got, nullptr)) {
      failed_ = true;
      return LastWin32Error();
    }
    // A short part is the file's last (an unbuffered read of the tail returns what is left).
    if (got == 0) ended_ = true;
    chunk = std::string_view(buffer_, got);
    return {};
  }

 private:
  static constexpr DWORD kPart = 1 << 20;
  Handle file_;
  char* buffer_ = nullptr;
  bool failed_ = false;
  bool ended_ = false;
};

}  // namespace

std::error_code Win32FileSystem::OpenForReading(const Path& path, ReadSource source,
                                                std::unique_ptr<FileReader>& reader) {
  reader.reset();
  const std::wstring file = WidePath(path);
  const DWORD attributes = Attributes(file);
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastWin32Error();
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return std::make_error_code(std::errc::is_a_directory);
  if (TypeOf(attributes) != EntryType::kFile) {
    return std::make_error_code(std::errc::invalid_argument);
  }
  // From the medium: FILE_FLAG_NO_BUFFERING bypasses the system's cache, so every read is
  // served by the drive (the file was flushed before, which the caller promises).
  const DWORD flags = source == ReadSource::kMedium
                          ? FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN
                          : FILE_FLAG_SEQUENTIAL_SCAN;
  HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastWin32Error();
  Handle opened(h);
  if (!IsDiskFile(opened.get())) return std::make_error_code(std::errc::invalid_argument);
  reader = std::make_unique<Win32FileReader>(opened.release());
  return {};
}

}  // namespace vantel3
