#include "workflow/event_log.h"

namespace vantel3 {

std::string FormatCopyEvent(const CopyRecord& record) {
  std::string text = "copy " + record.from + " -> " + record.to + ": ";
  if (!record.error.empty()) return text + "FAILED: " + record.error;
  text += record.bytes < 0 ? std::string("? bytes") : std::to_string(record.bytes) + " bytes";
  return text + " in " + std::to_string(record.elapsedMs) + " ms";
}

std::string FormatReadBackEvent(const ReadBackRecord& record) {
  std::string text = "read back " + record.copy + ": ";
  if (record.outcome == ReadBackOutcome::kNotRead) return text + "not read (--no-verify)";
  text += ReadBackOutcomeName(record.outcome);
  if (record.outcome == ReadBackOutcome::kDiffers) {
    return text + " from the package after " + std::to_string(record.bytes) + " equal bytes";
  }
  return text + " (" + std::to_string(record.bytes) + " bytes)";
}

}  // namespace vantel3
