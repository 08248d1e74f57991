#include "fsops/tree_ops.h"

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "platform/path_limit.h"

namespace vantel3 {

namespace {

constexpr int kCopyRemoveAttempts = 10;
constexpr int kCopyCreateAttempts = 10;
constexpr int kInstallRemoveAttempts = 5;
constexpr int kInstallRenameAttempts = 3;
constexpr uint32_t kRetryPauseMs = 200;

// Separator used when this unit joins a folder and a name.
constexpr char kJoinSeparator = '/';
// Both count when a staged path is taken apart, as callers may pass either form.
constexpr std::string_view kAnySeparator = "/\\";
// What the file system itself takes as a separator (a trailing one is dropped before a path
// is examined, so that "link/" is not resolved through the link).
#ifdef _WIN32
constexpr std::string_view kFileSystemSeparators = "/\\";
#else
constexpr std::string_view kFileSystemSeparators = "/";
#endif

// Folders that hold the user's own files: an existing, non-empty one is never replaced.
constexpr std::string_view kUserFolders[] = {"Music", "Help"};

bool Ok(const std::error_code& ec) {
  return !ec;
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool IsUserFolder(std::string_view name) {
  for (std::string_view folder : kUserFolders) {
    if (EqualsIgnoringAsciiCase(name, folder)) return true;
  }
  return false;
}

// A name that stays inside its parent folder when joined to it.
bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(kAnySeparator) == std::string_view::npos;
}

std::string WithoutTrailingSeparators(std::string_view path, std::string_view separators) {
  while (path.size() > 1 && separators.find(path.back()) != std::string_view::npos) {
    path.remove_suffix(1);
  }
  return std::string(path);
}

// The enumeration gives every entry's type; kOther also stands for "could not be told", so
// only then is the entry examined on its own. False when its attributes cannot be read.
bool ResolveType(FileSystem& fs, const std::string& path, EntryType& type) {
  if (type != EntryType::kOther) return true;
  return Ok(fs.Status(path, type));
}

bool IsRetryableRenameError(const std::error_code& ec) {
  return ec == std::errc::device_or_resource_busy ||  // sharing violation
         ec == std::errc::permission_denied ||        // access denied
         ec == std::errc::operation_not_permitted ||  // access denied, as some drivers say it
         ec == std::errc::file_exists ||              // already exists
         ec == std::errc::directory_not_empty;        // already exists, as rename(2) says it
}

// Deletes a path known to be a folder (not a link to one).
int DeleteFolder(FileSystem& fs, const std::string& path) {
  std::vector<DirEntry> entries;
  if (!Ok(fs.ListDirectory(path, entries))) return Ok(fs.RemoveDirectory(path)) ? 1 : 0;
  for (const DirEntry& entry : entries) {
    std::string child;
    if (!JoinPath(path, kJoinSeparator, entry.name, child)) return 0;
    EntryType type = entry.type;
    if (!ResolveType(fs, child, type)) return 0;
    // Files, links and special files are all removed as directory entries; a folder is
    // emptied first. A missing entry (gone meanwhile) fails its removal.
    const int removed = type == EntryType::kDirectory ? DeleteFolder(fs, child)
                                                      : (Ok(fs.RemoveFile(child)) ? 1 : 0);
    if (!removed) return 0;
  }
  return Ok(fs.RemoveDirectory(path)) ? 1 : 0;
}

// Calls DeleteTree on `path` until nothing is there, pausing after each attempt that leaves
// it in place. False when it is still there after `attempts` attempts.
bool RemoveWithRetries(FileSystem& fs, Clock& clock, const std::string& path, int attempts) {
  for (int attempt = 1;; ++attempt) {
    (void)DeleteTree(fs, path);  // only whether the path is gone matters
    if (!fs.Exists(path)) return true;
    clock.SleepMs(kRetryPauseMs);
    if (attempt == attempts) return false;
  }
}

int CopyFolder(FileSystem& fs, Clock& clock, const std::string& source,
               const std::string& destination) {
  if (fs.Exists(destination) && !RemoveWithRetries(fs, clock, destination, kCopyRemoveAttempts)) {
    return 0;
  }
  for (int attempt = 1;; ++attempt) {
    const std::error_code ec = fs.CreateDirectory(destination);
    if (Ok(ec) || ec == std::errc::file_exists) break;
    clock.SleepMs(kRetryPauseMs);
    if (attempt == kCopyCreateAttempts) return 0;
  }

  std::vector<DirEntry> entries;
  if (!Ok(fs.ListDirectory(source, entries))) return 1;  // nothing to copy: empty destination
  for (const DirEntry& entry : entries) {
    std::string from;
    std::string to;
    if (!JoinPath(source, kJoinSeparator, entry.name, from) ||
        !JoinPath(destination, kJoinSeparator, entry.name, to)) {
      return 0;
    }
    EntryType type = entry.type;
    if (!ResolveType(fs, from, type)) return 0;
    if (type == EntryType::kDirectory) {
      if (!CopyFolder(fs, clock, from, to)) return 0;
    } else if (type == EntryType::kFile) {
      // Removing what stands at the destination first also keeps the copy from writing
      // through a link there.
      if (fs.Exists(to) && !Ok(fs.RemoveFile(to))) return 0;
      if (!Ok(fs.CopyFile(from, to))) return 0;  // also when the source entry vanished
    }
    // Links and special files are skipped (see the header).
  }
  return 1;
}

}  // namespace

int DeleteTree(FileSystem& fs, std::string_view path) {
  if (path.empty()) return 0;
  const std::string folder = WithoutTrailingSeparators(path, kFileSystemSeparators);
  EntryType type;
  if (!Ok(fs.Status(folder, type))) return 0;   // nothing there
  if (type != EntryType::kDirectory) return 0;  // a file or a link is not a folder to delete
  return DeleteFolder(fs, folder);
}

int CopyTree(FileSystem& fs, Clock& clock, std::string_view source, std::string_view destination) {
  if (source.empty() || destination.empty()) return 0;
  return CopyFolder(fs, clock, std::string(source), std::string(destination));
}

int InstallStagedFolder(FileSystem& fs, Clock& clock, std::string_view stagedPath,
                        std::string_view finalName) {
  // A final name with a separator, "." or ".." would reach outside the staged folder's
  // parent (an empty one would name the parent itself) and delete it in place of the old
  // folder.
  if (!IsPlainName(finalName)) return 0;

  std::string_view staged = stagedPath;
  while (!staged.empty() && kAnySeparator.find(staged.back()) != std::string_view::npos) {
    staged.remove_suffix(1);
  }
  if (staged.empty() || !fs.Exists(std::string(staged))) return 0;
  const std::size_t separator = staged.find_last_of(kAnySeparator);
  if (separator == std::string_view::npos || separator == 0) return 0;
  const std::string_view parent = staged.substr(0, separator);
  // Installing a folder under its own name would delete it (or, for a user folder, discard
  // the user's files as the "staged copy"). The comparison ignores case as FAT drives do.
  if (EqualsIgnoringAsciiCase(staged.substr(separator + 1), finalName)) return 0;

  std::string finalFolder;
  if (!JoinPath(parent, kJoinSeparator, finalName, finalFolder)) return 0;

  if (IsUserFolder(finalName)) {
    std::vector<DirEntry> entries;
    if (Ok(fs.ListDirectory(finalFolder, entries)) && !entries.empty()) {
      (void)DeleteTree(fs, staged);  // the user's folder wins; a leftover copy does no harm
      return 1;
    }
  }

  if (fs.Exists(finalFolder) &&
      !RemoveWithRetries(fs, clock, finalFolder, kInstallRemoveAttempts)) {
    return 0;
  }

  const Path from{std::string(stagedPath)};  // as given, trailing separators included
  for (int attempt = 1; attempt <= kInstallRenameAttempts; ++attempt) {
    const std::error_code ec = fs.Rename(from, finalFolder);
    if (Ok(ec)) return 1;
    if (!IsRetryableRenameError(ec)) return 0;
    clock.SleepMs(kRetryPauseMs);
  }
  return 0;
}

}  // namespace vantel3
