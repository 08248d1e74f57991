#include "workflow/copy_checks.h"

#include <utility>

#include "fsops/read_back.h"
#include "workflow/messages.h"

namespace vantel3 {

void CopyChecks::NoteFile(std::string source, std::string copy, const char* failedMessage) {
  noted_.push_back({std::move(source), std::move(copy), false, failedMessage});
}

void CopyChecks::NoteFolder(std::string source, std::string copy, const char* failedMessage) {
  noted_.push_back({std::move(source), std::move(copy), true, failedMessage});
}

const char* CopyChecks::FirstMessage() const {
  return noted_.empty() ? nullptr : noted_.front().failedMessage;
}

const char* CopyChecks::CheckNoted() {
  std::vector<Noted> noted = std::move(noted_);
  noted_.clear();
  const ReadBackObserver& observer = services_.onCopyChecked;
  for (const Noted& copy : noted) {
    if (!enabled()) {
      if (observer) observer({copy.source, copy.copy, 0, ReadBackOutcome::kNotRead});
      continue;
    }
    const int same = copy.folder ? ReadBackTree(services_.fs, copy.source, copy.copy, observer)
                                 : ReadBackFile(services_.fs, copy.source, copy.copy, observer);
    if (same == 0) return copy.failedMessage;
  }
  return nullptr;
}

const char* CopyChecks::HandOver(const std::string& deviceRoot, DeviceMarker marker) {
  if (!enabled()) {
    (void)CheckNoted();  // reports them as not read
    return WriteDeviceMarker(services_.fs, deviceRoot, marker) ? nullptr : msg::kWentIncorrectly;
  }
  if (FlushDeviceDrive(services_.fs, deviceRoot) == 0) return msg::kWentIncorrectly;
  if (const char* failed = CheckNoted()) return failed;
  return WriteFlushedDeviceMarker(services_.fs, deviceRoot, marker) ? nullptr
                                                                    : msg::kWentIncorrectly;
}

const char* CopyChecks::CheckBeforeInstall(const std::string& deviceRoot) {
  if (!enabled() || noted_.empty()) return nullptr;
  if (FlushDeviceDrive(services_.fs, deviceRoot) == 0) return FirstMessage();
  return CheckNoted();
}

}  // namespace vantel3
