// The copies a run has made onto the current drive since they were last checked, and their
// check after the drive's flush: each is read back from the medium and compared with the
// package, so that a damaged copy is reported with its row's message, before the next
// marker and before a staged folder takes its final name.
#pragma once

#include <string>
#include <vector>

#include "formats/markers.h"
#include "workflow/update_context.h"

namespace vantel3 {

class CopyChecks {
 public:
  explicit CopyChecks(UpdateServices& services) : services_(services) {}

  // Whether copies are checked in this run.
  [[nodiscard]] bool enabled() const { return services_.verifyCopies; }

  // Notes a file copied from the package, or a folder copied with CopyTree; `failedMessage`
  // is the message of its transfer row.
  void NoteFile(std::string source, std::string copy, const char* failedMessage);
  void NoteFolder(std::string source, std::string copy, const char* failedMessage);

  // The message of the first noted copy (nullptr when none is noted).
  [[nodiscard]] const char* FirstMessage() const;

  // Reads back every noted copy, oldest first, and forgets them; the drive must have been
  // flushed since they were made. nullptr when all of them are the same as in the package,
  // else the message of the first that is not (the rest is not read). With checks off
  // nothing is read: every noted copy is reported as not read and nullptr is returned.
  [[nodiscard]] const char* CheckNoted();

  // Hands the drive at `deviceRoot` to the device: flushes it, checks the noted copies, then
  // writes `marker` (with checks off, just WriteDeviceMarker). nullptr when the marker is on
  // the medium; else the message to fail with, no marker having been written after a damaged
  // copy: the copy's row message, or "The update went incorrectly. Please try again." when
  // the drive cannot be flushed or the marker not written.
  [[nodiscard]] const char* HandOver(const std::string& deviceRoot, DeviceMarker marker);

  // Before staged folders take their final names: flushes the drive at `deviceRoot` and
  // checks the noted copies, so that a damaged copy never replaces a folder on the device.
  // nullptr when they are all good (or checks are off: nothing is done then); else the
  // message of the first bad copy, or of the first noted copy when the drive cannot be
  // flushed (its data cannot be known to be there).
  [[nodiscard]] const char* CheckBeforeInstall(const std::string& deviceRoot);

 private:
  struct Noted {
    std::string source;
    std::string copy;
    bool folder;
    const char* failedMessage;
  };

  UpdateServices& services_;
  std::vector<Noted> noted_;
};

}  // namespace vantel3
