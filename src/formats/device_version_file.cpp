#include "formats/device_version_file.h"

#include "formats/text_util.h"
#include "platform/path_limit.h"

namespace vantel3 {

namespace {

struct VersionFileKind {
  const char* name;
  uint8_t model;
  uint8_t generation;
};

// The order of testing: VO3 before RU3R within each generation, second generation first.
constexpr VersionFileKind kVersionFileKinds[] = {
    {kVersionFileVo3Gen2, 1, 2},  {kVersionFileRu3rGen2, 2, 2}, {kVersionFileVo3Gen1, 1, 1},
    {kVersionFileRu3rGen1, 2, 1}, {kVersionFileVtGen1, 2, 1},
};

constexpr std::string_view kBtKey = "\"bt\"";
constexpr std::string_view kDfKey = "\"df\"";
constexpr std::string_view kBtTag = "vt-bt-";
constexpr std::string_view kDefaultTransport = "usb";
constexpr std::string_view kUartTransport = "uart";

bool ExistsInRoot(FileSystem& fs, std::string_view root, std::string_view name, std::string& path) {
  return JoinPath(root, name, path) == 1 && fs.Exists(path);
}

// Reads the whole file when it is no larger than kMaxDeviceVersionFileBytes.
bool ReadSmallFile(FileSystem& fs, const std::string& path, std::string& bytes) {
  if (fs.ReadFile(path, kMaxDeviceVersionFileBytes + 1, bytes)) return false;
  return bytes.size() <= kMaxDeviceVersionFileBytes;
}

// Finds the value of `quotedKey`: the positions of its opening and closing quotes.
bool LocateValue(std::string_view text, std::string_view quotedKey, std::size_t& open,
                 std::size_t& close) {
  const std::size_t key = text.find(quotedKey);
  if (key == std::string_view::npos) return false;
  const std::size_t colon = text.find(':', key);
  if (colon == std::string_view::npos) return false;
  open = text.find('"', colon);
  if (open == std::string_view::npos) return false;
  close = text.find('"', open + 1);
  return close != std::string_view::npos;
}

}  // namespace

int DetectGeneration(FileSystem& fs, std::string_view deviceRoot, uint8_t& model,
                     uint8_t& generation) {
  model = 0;
  generation = 0;
  std::string path;
  for (const VersionFileKind& kind : kVersionFileKinds) {
    if (ExistsInRoot(fs, deviceRoot, kind.name, path)) {
      model = kind.model;
      generation = kind.generation;
      return 1;
    }
  }
  return 0;
}

int ChooseDeviceVersionFile(FileSystem& fs, std::string_view deviceRoot, std::string& path) {
  std::string candidate;
  for (const char* name : {kVersionFileRu3rGen2, kVersionFileVo3Gen2}) {
    if (ExistsInRoot(fs, deviceRoot, name, candidate)) {
      path = std::move(candidate);
      return 1;
    }
  }
  return 0;
}

std::string JoinTextLines(std::string_view fileBytes, std::string_view lineSuffix) {
  std::string joined;
  joined.reserve(fileBytes.size() + lineSuffix.size());
  std::size_t start = 0;
  while (start < fileBytes.size()) {
    std::size_t end = fileBytes.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? fileBytes.size() : end + 1;
    if (end == std::string_view::npos) end = fileBytes.size();
    std::string_view line = fileBytes.substr(start, end - start);
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    joined.append(line).append(lineSuffix);
    start = next;
  }
  return joined;
}

int ExtractVersionValue(std::string_view text, std::string_view quotedKey, std::string& value) {
  std::size_t open = 0;
  std::size_t close = 0;
  if (!LocateValue(text, quotedKey, open, close)) return 0;
  value.assign(TrimWhiteSpace(text.substr(open + 1, close - open - 1)));
  return 1;
}

void EvaluateDeviceVersionText(std::string_view joinedText, std::string_view btVersion,
                               int32_t& btUpdateNeeded, int32_t& btUpdateOverUsb) {
  btUpdateNeeded = 1;
  btUpdateOverUsb = 1;
  if (joinedText.empty()) return;
  std::string deviceBt;
  if (!ExtractVersionValue(joinedText, kBtKey, deviceBt) || deviceBt.empty()) return;
  // The device may prefix its version with a tag; only what follows the tag is the version.
  const std::size_t tag = deviceBt.find(kBtTag);
  if (tag != std::string::npos) {
    deviceBt.assign(TrimWhiteSpace(std::string_view(deviceBt).substr(tag + kBtTag.size())));
  }
  std::string transport;
  if (!ExtractVersionValue(joinedText, kDfKey, transport)) transport = kDefaultTransport;
  if (deviceBt == btVersion) {
    btUpdateNeeded = 0;
    btUpdateOverUsb = 0;
    return;
  }
  btUpdateNeeded = 1;
  btUpdateOverUsb = EqualsIgnoringAsciiCase(transport, kUartTransport) ? 0 : 1;
}

void ReadDeviceVersionFile(FileSystem& fs, std::string_view deviceRoot, std::string_view btVersion,
                           int32_t& btUpdateNeeded, int32_t& btUpdateOverUsb,
                           int32_t& versionFile2Found) {
  btUpdateNeeded = 1;
  versionFile2Found = 0;
  btUpdateOverUsb = 1;
  std::string path;
  if (!ChooseDeviceVersionFile(fs, deviceRoot, path)) return;
  versionFile2Found = 1;
  std::string bytes;
  if (!ReadSmallFile(fs, path, bytes)) return;
  EvaluateDeviceVersionText(JoinTextLines(bytes, ""), btVersion, btUpdateNeeded, btUpdateOverUsb);
}

int RewriteDfText(std::string_view text, std::string& out) {
  if (text.empty()) return 0;
  std::size_t open = 0;
  std::size_t close = 0;
  if (!LocateValue(text, kDfKey, open, close)) return 0;
  std::string replaced;
  replaced.reserve(text.size() + kUartTransport.size());
  replaced.append(text.substr(0, open + 1)).append(kUartTransport).append(text.substr(close));
  // Written as a text file: every LF becomes CR LF.
  std::string written;
  written.reserve(replaced.size() * 2);
  for (char c : replaced) {
    if (c == '\n') written.push_back('\r');
    written.push_back(c);
  }
  out = std::move(written);
  return 1;
}

int RewriteDeviceVersionDf(FileSystem& fs, std::string_view deviceRoot) {
  std::string path;
  if (!ChooseDeviceVersionFile(fs, deviceRoot, path)) return 0;
  std::string bytes;
  if (!ReadSmallFile(fs, path, bytes)) return 0;
  std::string newText;
  if (!RewriteDfText(JoinTextLines(bytes, "\n"), newText)) return 0;
  std::string tempPath;
  if (!JoinPath(path, kRewriteTempSuffix, tempPath)) return 0;

  // The old file is replaced only by a complete, flushed new one; rename within one folder
  // swaps them in one step, so the device never sees a half-written version file.
  if (fs.WriteFile(tempPath, newText) || fs.FlushFile(tempPath) || fs.Rename(tempPath, path)) {
    (void)fs.RemoveFile(tempPath);
    return 0;
  }
  // Makes the rename itself durable; the file is replaced whatever this answers.
  (void)fs.FlushFile(std::string(deviceRoot));
  return 1;
}

}  // namespace vantel3
