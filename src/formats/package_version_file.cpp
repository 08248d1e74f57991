#include "formats/package_version_file.h"

#include "formats/text_util.h"

namespace vantel3 {

namespace {

constexpr char kMagic[3] = {'V', 'T', 'L'};
constexpr uint8_t kFormatVersion = 1;
constexpr std::string_view kTargetKey = "TARGET_VERSION";
constexpr std::string_view kBtKey = "BT_VERSION";

uint32_t ReadLittleEndian32(std::string_view bytes) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[i]);
  return value;
}

// Applies one line of the payload text; returns the kPackageVersionHas* bit it set, or 0.
int ApplyLine(std::string_view line, std::string& targetVersion, std::string& btVersion) {
  line = TrimWhiteSpace(line);
  if (line.empty()) return 0;
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return 0;
  const std::string_view key = TrimWhiteSpace(line.substr(0, colon));
  const std::string_view value = TrimWhiteSpace(line.substr(colon + 1));
  if (EqualsIgnoringAsciiCase(key, kTargetKey)) {
    targetVersion.assign(value);
    return kPackageVersionHasTarget;
  }
  if (EqualsIgnoringAsciiCase(key, kBtKey)) {
    btVersion.assign(value);
    return kPackageVersionHasBt;
  }
  return 0;
}

bool ReadsBackUnchanged(std::string_view value) {
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
  return TrimWhiteSpace(value).size() == value.size();
}

}  // namespace

int DecodePackageVersionFile(std::string_view fileBytes, std::string& targetVersion,
                             std::string& btVersion) {
  targetVersion = kDefaultTargetVersion;
  btVersion = kDefaultBtVersion;
  if (fileBytes.size() < kPackageVersionHeaderSize) return 0;
  if (fileBytes.substr(0, 3) != std::string_view(kMagic, 3)) return 0;
  if (static_cast<uint8_t>(fileBytes[3]) != kFormatVersion) return 0;
  const uint32_t length = ReadLittleEndian32(fileBytes.substr(4, 4));
  if (length < 1 || length > kMaxPackageVersionPayload) return 0;
  if (fileBytes.size() - kPackageVersionHeaderSize < length) return 0;

  // Unscramble up to the first zero byte, dropping every CR on the way: the text is 8-bit
  // (UTF-8 here) and its bytes are kept as they are.
  std::string text;
  text.reserve(length);
  for (char scrambled : fileBytes.substr(kPackageVersionHeaderSize, length)) {
    const char c = static_cast<char>(static_cast<uint8_t>(scrambled) ^ kPackageVersionMask);
    if (c == '\0') break;
    if (c != '\r') text.push_back(c);
  }

  int found = kPackageVersionFileUsable;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    // The last occurrence of a key wins simply because later lines overwrite earlier ones.
    found |= ApplyLine(std::string_view(text).substr(start, end - start), targetVersion, btVersion);
    start = end + 1;
  }
  return found;
}

void ParsePackageVersionFile(std::string_view fileBytes, std::string& targetVersion,
                             std::string& btVersion) {
  (void)DecodePackageVersionFile(fileBytes, targetVersion, btVersion);
}

void ReadPackageVersionFile(FileSystem& fs, const Path& path, std::string& targetVersion,
                            std::string& btVersion) {
  targetVersion = kDefaultTargetVersion;
  btVersion = kDefaultBtVersion;
  std::string bytes;
  if (fs.ReadFile(path, kPackageVersionHeaderSize + kMaxPackageVersionPayload, bytes)) return;
  ParsePackageVersionFile(bytes, targetVersion, btVersion);
}

int EncodePackageVersionFile(std::string_view targetVersion, std::string_view btVersion,
                             std::string& out) {
  if (!ReadsBackUnchanged(targetVersion) || !ReadsBackUnchanged(btVersion)) return 0;
  std::string payload;
  payload.append(kTargetKey).append(":").append(targetVersion).append("\n");
  payload.append(kBtKey).append(":").append(btVersion).append("\n");
  if (payload.size() > kMaxPackageVersionPayload) return 0;

  std::string bytes(kMagic, 3);
  bytes.push_back(static_cast<char>(kFormatVersion));
  const auto length = static_cast<uint32_t>(payload.size());
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
  for (char c : payload) {
    bytes.push_back(static_cast<char>(static_cast<uint8_t>(c) ^ kPackageVersionMask));
  }
  out = std::move(bytes);
  return 1;
}

}  // namespace vantel3
