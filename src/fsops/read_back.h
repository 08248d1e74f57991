// Checks copies on a drive against their sources after the drive was flushed: each copy is
// read back from the medium (never from the system's cache of it) and compared byte for byte
// with its source, the two streamed side by side, so that damage the writes did not report
// is found before the device is told to use the copy.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace vantel3 {

enum class ReadBackOutcome {
  kSame,              // the copy holds exactly the source's bytes
  kDiffers,           // other bytes, or another length
  kCopyUnreadable,    // the copy is missing or a read of it failed
  kSourceUnreadable,  // the source is missing or a read of it failed
  kNotRead,           // checks are off: the copy was not read back
};

// One file of a check, as a run log takes it.
struct ReadBackRecord {
  std::string source;
  std::string copy;
  // Bytes compared equal: the whole file for kSame, the bytes before the damage (within the
  // part read at once) for kDiffers; 0 for kNotRead.
  uint64_t bytes = 0;
  ReadBackOutcome outcome = ReadBackOutcome::kNotRead;
};

// Called once for every file checked (may be empty).
using ReadBackObserver = std::function<void(const ReadBackRecord&)>;

// "same", "differs", "copy unreadable", "source unreadable", "not read".
const char* ReadBackOutcomeName(ReadBackOutcome outcome);

// Compares the file `copy` (read from the medium) with the file `source` (read as the system
// gives it) and reports it to `observer`. 1 when they are the same, 0 otherwise.
[[nodiscard]] int ReadBackFile(FileSystem& fs, std::string_view source, std::string_view copy,
                               const ReadBackObserver& observer);

// Checks the folder `copy` against the folder `source` as CopyTree copies it: every regular
// file of `source`, at any depth, must be the same in `copy`, and every folder must be there
// as a folder; links and special files are skipped as CopyTree skips them, and entries only
// in `copy` are not looked at. A source that cannot be listed (CopyTree then made an empty
// folder) needs only the folder `copy`. 1 when everything matches, 0 at the first file or
// folder that does not (the rest is not read); every file read is reported to `observer`.
[[nodiscard]] int ReadBackTree(FileSystem& fs, std::string_view source, std::string_view copy,
                               const ReadBackObserver& observer);

}  // namespace vantel3
