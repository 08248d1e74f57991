#include "fuzz_targets.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "formats/device_version_file.h"
#include "formats/package_version_file.h"
#include "platform/linux_volume_source.h"
#include "sim/scenario.h"

namespace vantel3 {

namespace {

void AbortOnFailure(const char* what) {
  std::fprintf(stderr, "fuzz property failed: %s\n", what);
  std::abort();
}

FuzzFailureHandler failureHandler = AbortOnFailure;

// Reports a property that does not hold; the caller returns 0 right after.
int Fail(const char* what) {
  failureHandler(what);
  return 0;
}

std::string_view AsText(const uint8_t* data, std::size_t size) {
  return size == 0 ? std::string_view()
                   : std::string_view(reinterpret_cast<const char*>(data), size);
}

constexpr std::string_view kBtKey = "\"bt\"";
constexpr std::string_view kDfKey = "\"df\"";

}  // namespace

void SetFuzzFailureHandler(FuzzFailureHandler handler) {
  failureHandler = handler != nullptr ? handler : AbortOnFailure;
}

int FuzzPackageVersionFile(const uint8_t* data, std::size_t size) {
  const std::string_view bytes = AsText(data, size);
  std::string target = "left over";
  std::string bt = "left over";
  const int found = DecodePackageVersionFile(bytes, target, bt);
  if (found != 0 && (found & kPackageVersionFileUsable) == 0) return Fail("result bits");
  if ((found & ~(kPackageVersionFileUsable | kPackageVersionHasTarget | kPackageVersionHasBt)) !=
      0) {
    return Fail("unknown result bits");
  }
  if ((found & kPackageVersionHasTarget) == 0 && target != kDefaultTargetVersion) {
    return Fail("target changed without a TARGET_VERSION line");
  }
  if ((found & kPackageVersionHasBt) == 0 && bt != kDefaultBtVersion) {
    return Fail("bt changed without a BT_VERSION line");
  }

  std::string parsedTarget;
  std::string parsedBt;
  ParsePackageVersionFile(bytes, parsedTarget, parsedBt);
  if (parsedTarget != target || parsedBt != bt) return Fail("Parse and Decode disagree");

  // What was read is what a packager would write back; the writer either refuses it or
  // produces a file that reads back unchanged.
  std::string encoded;
  if (EncodePackageVersionFile(target, bt, encoded) == 1) {
    std::string againTarget;
    std::string againBt;
    const int again = DecodePackageVersionFile(encoded, againTarget, againBt);
    if (again != (kPackageVersionFileUsable | kPackageVersionHasTarget | kPackageVersionHasBt)) {
      return Fail("an encoded file does not read back as usable with both values");
    }
    if (againTarget != target || againBt != bt) return Fail("encoded values do not read back");
  }
  return 0;
}

int FuzzDeviceVersionText(const uint8_t* data, std::size_t size) {
  const std::string_view bytes = AsText(data, size);
  const std::string joined = JoinTextLines(bytes, "");
  if (joined.find('\n') != std::string::npos) return Fail("joined text holds a LF");
  if (joined.size() > bytes.size()) return Fail("joined text grew");

  std::string bt;
  std::string df;
  const int hasBt = ExtractVersionValue(joined, kBtKey, bt);
  const int hasDf = ExtractVersionValue(joined, kDfKey, df);
  if ((hasBt != 0 && hasBt != 1) || (hasDf != 0 && hasDf != 1)) return Fail("extract result");

  for (std::string_view packageBt : {std::string_view(kDefaultBtVersion), std::string_view(bt)}) {
    int32_t needed = -7;
    int32_t overUsb = -7;
    EvaluateDeviceVersionText(joined, packageBt, needed, overUsb);
    if ((needed != 0 && needed != 1) || (overUsb != 0 && overUsb != 1)) {
      return Fail("decision fields not 0 or 1");
    }
    if ((hasBt == 0 || bt.empty()) && (needed != 1 || overUsb != 1)) {
      return Fail("no usable bt value but the fields moved");
    }
    if (needed == 0 && overUsb != 0) return Fail("no update needed but over USB");
  }
  return 0;
}

int FuzzRewriteDf(const uint8_t* data, std::size_t size) {
  const std::string_view bytes = AsText(data, size);
  const std::string text = JoinTextLines(bytes, "\n");
  std::string out = "untouched";
  const int rewritten = RewriteDfText(text, out);
  std::string df;
  const int hasDf = ExtractVersionValue(text, kDfKey, df);
  if (rewritten == 0) {
    if (out != "untouched") return Fail("out changed without a rewrite");
    if (hasDf == 1 && !text.empty()) return Fail("a df value was there but not rewritten");
    return 0;
  }
  if (hasDf != 1) return Fail("rewritten without a df value");
  if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) {
    return Fail("rewritten text does not end with CR LF");
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r')) return Fail("a LF without its CR");
  }
  // Read back as the device file: the lines are the text's lines again, with "df" = "uart".
  const std::string back = JoinTextLines(out, "\n");
  std::string newDf;
  if (ExtractVersionValue(back, kDfKey, newDf) != 1 || newDf != "uart") {
    return Fail("rewritten df does not read back as uart");
  }
  // A "bt" value that ends before the "df" key is untouched by the rewrite.
  const std::size_t btAt = text.find(kBtKey);
  const std::size_t dfAt = text.find(kDfKey);
  std::string bt;
  if (btAt != std::string::npos && btAt < dfAt && ExtractVersionValue(text, kBtKey, bt) == 1) {
    const std::size_t btClose = text.find('"', text.find('"', text.find(':', btAt)) + 1);
    std::string btBack;
    if (btClose < dfAt && (ExtractVersionValue(back, kBtKey, btBack) != 1 || btBack != bt)) {
      return Fail("rewrite changed bt");
    }
  }
  return 0;
}

int FuzzMountInfo(const uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);
  const std::vector<MountEntry> entries = ParseMountInfo(text);
  std::size_t lines = 0;
  for (std::size_t at = 0; at < text.size(); ++lines) {
    const std::size_t end = text.find('\n', at);
    at = end == std::string_view::npos ? text.size() : end + 1;
  }
  if (entries.size() > lines) return Fail("more entries than lines");
  for (const MountEntry& entry : entries) {
    if (entry.mountPoint.empty() || entry.mountPoint.front() != '/') {
      return Fail("mount point does not start with /");
    }
  }
  return 0;
}

int FuzzUdevLabel(const uint8_t* data, std::size_t size) {
  const std::string_view text = AsText(data, size);
  std::string label = "unchanged";
  const bool found = ParseUdevLabel(text, label);
  if (!found && label != "unchanged") return Fail("label changed without a label");
  if (found && text.find("ID_FS_LABEL") == std::string_view::npos) {
    return Fail("label found without an ID_FS_LABEL line");
  }
  return 0;
}

int FuzzScenario(const uint8_t* data, std::size_t size) {
  const std::string_view json = AsText(data, size);
  Scenario scenario;
  std::string error;
  const int parsed = ParseScenario(json, scenario, error);
  if (parsed != 0 && parsed != 1) return Fail("ParseScenario result not 0 or 1");
  if (parsed == 0 && error.empty()) return Fail("a refused scenario without a reason");
  // The same document gives the same answer again.
  Scenario again;
  std::string againError;
  if (ParseScenario(json, again, againError) != parsed || againError != error) {
    return Fail("ParseScenario is not deterministic");
  }
  return 0;
}

}  // namespace vantel3
