#include "workflow/event_log.h"

namespace vantel3 {

namespace {

const char* VerificationText(CopyVerification verified) {
  switch (verified) {
    case CopyVerification::kNotVerified:
      return "not verified";
    case CopyVerification::kMatched:
      return "verified: matched";
    case CopyVerification::kDiffered:
      return "verified: DIFFERS from the package";
    case CopyVerification::kReadFailed:
      return "verified: read-back FAILED";
  }
  return "?";
}

}  // namespace

std::string FormatCopyEvent(const CopyRecord& record) {
  std::string text = "copy " + record.from + " -> " + record.to + ": ";
  if (!record.error.empty()) return text + "FAILED: " + record.error;
  text += record.bytes < 0 ? std::string("? bytes") : std::to_string(record.bytes) + " bytes";
  text += " in " + std::to_string(record.elapsedMs) + " ms, ";
  return text + VerificationText(record.verified);
}

std::string FormatVerificationEvent(const std::string& to, CopyVerification verified) {
  return "read-back " + to + ": " + VerificationText(verified);
}

}  // namespace vantel3
