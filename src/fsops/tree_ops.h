// Recursive delete, copy and staged install of folders on a slow removable drive, with fixed
// retries and 200 ms pauses (taken on the clock) for a drive that briefly refuses access.
// All return 1 on success and 0 on failure and report nothing; an empty path stands for none.
#pragma once

#include <string_view>

#include "platform/clock.h"
#include "platform/file_system.h"

namespace vantel3 {

// Removes the folder at `path` with everything in it. Links are removed, never followed.
[[nodiscard]] int DeleteTree(FileSystem& fs, std::string_view path);

// Makes `destination` a fresh copy of the folder `source` (an existing destination is
// removed first; a missing source leaves an empty destination and succeeds).
[[nodiscard]] int CopyTree(FileSystem& fs, Clock& clock, std::string_view source,
                           std::string_view destination);

// Puts the staged folder in place of the folder `finalName` beside it. A non-empty "Music"
// or "Help" folder stays as it is and the staged copy is discarded.
[[nodiscard]] int InstallStagedFolder(FileSystem& fs, Clock& clock, std::string_view stagedPath,
                                      std::string_view finalName);

}  // namespace vantel3
