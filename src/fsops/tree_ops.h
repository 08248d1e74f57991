// Recursive delete, copy and staged install of folders on a slow removable drive, with fixed
// retries and 200 ms pauses (taken on the clock) for a drive that briefly refuses access.
// All return 1 on success and 0 on failure and report nothing; an empty path stands for none.
//
// Paths are joined with "/"; a path that would grow beyond kMaxPathChars (259 characters)
// fails the operation that needs it, and nothing is truncated. Entries are handled in the
// file system's enumeration order, hidden entries included. Symbolic links inside a tree are
// never followed, so a link loop cannot make an operation recurse for ever and a link cannot
// bring content from outside the tree onto the drive (or delete it there).
#pragma once

#include <string_view>

#include "platform/clock.h"
#include "platform/file_system.h"

namespace vantel3 {

// Removes the folder at `path` with everything in it, entry by entry in enumeration order.
// Links inside are removed as files, never followed; no attribute is changed beforehand.
// 0 when nothing is at `path`, when `path` is not a folder (a file or a link there stays), or
// when any entry or the folder itself cannot be removed: entries removed before the failure
// stay removed, the rest stays.
[[nodiscard]] int DeleteTree(FileSystem& fs, std::string_view path);

// Makes `destination` a fresh copy of the folder `source`: whatever stands at `destination`
// is removed first (up to 10 attempts, 200 ms apart), the folder is created (its parent must
// exist; up to 10 attempts, 200 ms apart), then every file and folder of `source` is copied.
// A missing or unreadable `source` leaves an empty `destination` and gives 1. Links and
// special files (pipes, sockets, devices) in `source` are skipped: a FAT drive cannot hold
// them, and copying what a link points to could carry content from outside the package onto
// the device; skipping one is not a failure. The `source` path itself is taken as named.
// 0 on the first step that fails; what was copied before stays.
[[nodiscard]] int CopyTree(FileSystem& fs, Clock& clock, std::string_view source,
                           std::string_view destination);

// Puts the staged folder in place of the folder `finalName` beside it (in the staged
// folder's parent). A non-empty "Music" or "Help" folder (any letter case) stays as it is
// and the staged copy is deleted: 1. Otherwise an existing final folder is deleted (up to 5
// attempts, 200 ms apart) and the staged folder renamed to the final name (up to 3 attempts,
// 200 ms pause after each one refused as busy, access denied or already exists; any other
// refusal ends at once). 0 when the staged path is missing or has no parent part, when
// `finalName` is not a single plain name or names the staged folder itself (nothing is
// changed then), when the old folder cannot be removed or the rename fails (the staged
// folder then stays under its own name).
[[nodiscard]] int InstallStagedFolder(FileSystem& fs, Clock& clock, std::string_view stagedPath,
                                      std::string_view finalName);

}  // namespace vantel3
