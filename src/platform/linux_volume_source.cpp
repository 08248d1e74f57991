#include "platform/linux_volume_source.h"

#include <fcntl.h>
#include <libudev.h>
#include <limits.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/posix_file_system.h"

namespace vantel3 {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDefaultProcRoot = "/proc";
constexpr std::string_view kDefaultSysRoot = "/sys";
constexpr std::string_view kDefaultUdevDataRoot = "/run/udev/data";
constexpr std::string_view kLabelProperty = "ID_FS_LABEL";
constexpr std::string_view kEncodedLabelProperty = "ID_FS_LABEL_ENC";
// A sysfs attribute such as "removable" is one short line.
constexpr std::size_t kMaxAttributeBytes = 64;
// What the kernel appends to the name of a folder that was removed while open.
constexpr std::string_view kDeletedSuffix = " (deleted)";

std::vector<std::string_view> SplitFields(std::string_view line) {
  // The kernel separates mountinfo fields by exactly one space and escapes blanks inside
  // fields, so an empty field means a damaged line.
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t space = line.find(' ', start);
    if (space == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, space - start));
    start = space + 1;
  }
}

bool IsOctal(char c) {
  return c >= '0' && c <= '7';
}

// Undoes the kernel's octal escapes ("\040" for a space, "\134" for a backslash). A backslash
// that does not start a three-digit escape of a byte stays as it is. False for a NUL byte,
// which no path holds.
bool DecodeOctalEscapes(std::string_view field, std::string& out) {
  out.clear();
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
        IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
      const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      if (value <= 0xFF) {
        if (value == 0) return false;
        out.push_back(static_cast<char>(value));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return true;
}

bool ParseUnsigned(std::string_view text, unsigned& value) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (result > std::numeric_limits<unsigned>::max()) return false;
  value = static_cast<unsigned>(result);
  return true;
}

bool ParseDeviceNumber(std::string_view text, unsigned& major, unsigned& minor) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  return ParseUnsigned(text.substr(0, colon), major) &&
         ParseUnsigned(text.substr(colon + 1), minor);
}

// One line: "ID PARENT MAJOR:MINOR ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - FSTYPE SOURCE SUPER".
std::optional<MountEntry> ParseMountLine(std::string_view line) {
  const std::vector<std::string_view> fields = SplitFields(line);
  if (fields.size() < 9) return std::nullopt;
  unsigned id = 0;
  unsigned parent = 0;
  MountEntry entry;
  if (!ParseUnsigned(fields[0], id) || !ParseUnsigned(fields[1], parent) ||
      !ParseDeviceNumber(fields[2], entry.major, entry.minor)) {
    return std::nullopt;
  }
  std::size_t separator = 6;  // the optional fields end at the first lone "-"
  while (separator < fields.size() && fields[separator] != "-") {
    if (fields[separator].empty()) return std::nullopt;
    ++separator;
  }
  // File system type and source follow the separator; the super-block options may be missing.
  if (separator + 2 >= fields.size()) return std::nullopt;
  if (fields[5].empty() || fields[separator + 1].empty()) return std::nullopt;
  if (!DecodeOctalEscapes(fields[3], entry.fsRoot) ||
      !DecodeOctalEscapes(fields[4], entry.mountPoint) ||
      !DecodeOctalEscapes(fields[separator + 1], entry.fsType) ||
      !DecodeOctalEscapes(fields[separator + 2], entry.source)) {
    return std::nullopt;
  }
  if (entry.fsRoot.empty() || entry.fsRoot.front() != '/' || entry.mountPoint.empty() ||
      entry.mountPoint.front() != '/') {
    return std::nullopt;
  }
  return entry;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes udev's "\xHH" escapes (ID_FS_LABEL_ENC). False for a broken escape or a NUL byte.
bool DecodeUdevEscapes(std::string_view encoded, std::string& out) {
  std::string decoded;
  decoded.reserve(encoded.size());
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '\\') {
      decoded.push_back(encoded[i]);
      continue;
    }
    if (i + 3 >= encoded.size()) return false;
    if (encoded[i + 1] != 'x') return false;
    const int high = HexValue(encoded[i + 2]);
    const int low = HexValue(encoded[i + 3]);
    if (high < 0 || low < 0 || (high == 0 && low == 0)) return false;
    decoded.push_back(static_cast<char>(high * 16 + low));
    i += 3;
  }
  out = std::move(decoded);
  return true;
}

// The exact label when the encoded form is usable, else udev's "safe" form.
bool ChooseLabel(const std::optional<std::string_view>& encoded,
                 const std::optional<std::string_view>& plain, std::string& label) {
  if (encoded && DecodeUdevEscapes(*encoded, label)) return true;
  if (plain) {
    label = std::string(*plain);
    return true;
  }
  return false;
}

std::string Join(std::string_view root, std::string_view tail) {
  std::string path(root);
  path.append(tail);
  return path;
}

bool AttributeIsOne(PosixFileSystem& files, const fs::path& file) {
  std::string content;
  if (files.ReadFile(file, kMaxAttributeBytes, content)) return false;
  return !content.empty() && content.front() == '1';
}

// A USB device's sysfs path runs through its root hub, a folder named "usb<bus number>".
bool HasUsbBusComponent(const fs::path& relative) {
  for (const fs::path& component : relative) {
    const std::string name = component.string();
    if (name.size() <= 3 || name.compare(0, 3, "usb") != 0) continue;
    if (std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return true;
    }
  }
  return false;
}

// The path of `path` with every link resolved, as fs::canonical gives it. The kernel
// resolves it in one open; /proc/self/fd then names the result. That is a handful of system
// calls where canonical reads every component as a possible link. Falls back to canonical
// when /proc is not there or the answer is not a plain absolute path.
std::optional<fs::path> ResolvedPath(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
  if (fd >= 0) {
    char target[PATH_MAX];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(self.c_str(), target, sizeof target);
    ::close(fd);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof target && target[0] == '/') {
      const std::string_view resolved(target, static_cast<std::size_t>(n));
      if (!resolved.ends_with(kDeletedSuffix)) return fs::path(resolved);
    }
  }
  std::error_code ec;
  fs::path resolved = fs::canonical(path, ec);
  if (ec) return std::nullopt;
  return resolved;
}

// `sysBase` is the sysfs root with its links resolved, found once per listing; no value when
// it cannot be resolved (then no device below it can be either).
bool IsRemovableBlockDevice(PosixFileSystem& files, const std::string& sysRoot,
                            const std::optional<fs::path>& sysBase, unsigned major,
                            unsigned minor) {
  if (major == 0) return false;  // no block device behind it
  if (!sysBase) return false;
  const fs::path link =
      Join(sysRoot, "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
  const std::optional<fs::path> resolved = ResolvedPath(link);
  if (!resolved) return false;
  const fs::path& device = *resolved;
  if (AttributeIsOne(files, device / "removable")) return true;
  // A partition's own folder has no "removable"; its disk (the parent folder) has.
  if (files.Exists(device / "partition") &&
      AttributeIsOne(files, device.parent_path() / "removable")) {
    return true;
  }
  // Judge the bus only by the part of the path below the sysfs root, so that a fixture tree
  // placed under a folder that happens to be called "usb1" is not taken for a USB device.
  const fs::path relative = device.lexically_relative(*sysBase);
  if (relative.empty() || *relative.begin() == "..") return HasUsbBusComponent(device);
  return HasUsbBusComponent(relative);
}

std::optional<std::string> LabelFromUdevDataFile(PosixFileSystem& files,
                                                 const std::string& udevDataRoot, unsigned major,
                                                 unsigned minor) {
  std::string content;
  const std::string file =
      Join(udevDataRoot, "/b" + std::to_string(major) + ":" + std::to_string(minor));
  if (files.ReadFile(file, kMaxUdevDataBytes, content)) return std::nullopt;
  std::string label;
  if (!ParseUdevLabel(content, label)) return std::nullopt;
  return label;
}

// Reads the labels through libudev, which knows where this machine's udev keeps its database.
class UdevLabels {
 public:
  UdevLabels() : udev_(udev_new()) {}
  ~UdevLabels() {
    if (udev_ != nullptr) udev_unref(udev_);
  }
  UdevLabels(const UdevLabels&) = delete;
  UdevLabels& operator=(const UdevLabels&) = delete;

  std::optional<std::string> Label(unsigned major, unsigned minor) {
    if (udev_ == nullptr) return std::nullopt;
    udev_device* device = udev_device_new_from_devnum(udev_, 'b', makedev(major, minor));
    if (device == nullptr) return std::nullopt;
    std::optional<std::string_view> encoded;
    std::optional<std::string_view> plain;
    if (const char* value =
            udev_device_get_property_value(device, std::string(kEncodedLabelProperty).c_str())) {
      encoded = value;
    }
    if (const char* value =
            udev_device_get_property_value(device, std::string(kLabelProperty).c_str())) {
      plain = value;
    }
    std::string label;
    const bool found = ChooseLabel(encoded, plain, label);
    udev_device_unref(device);
    if (!found) return std::nullopt;
    return label;
  }

 private:
  udev* udev_;
};

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  std::vector<MountEntry> entries;
  try {
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      if (auto entry = ParseMountLine(text.substr(start, end - start))) {
        entries.push_back(std::move(*entry));
      }
      start = end + 1;
    }
  } catch (...) {
    // Out of memory: what was parsed so far is all there is.
  }
  return entries;
}

bool ParseUdevLabel(std::string_view udevDataFile, std::string& label) {
  try {
    std::optional<std::string_view> encoded;
    std::optional<std::string_view> plain;
    std::size_t start = 0;
    while (start < udevDataFile.size()) {
      std::size_t end = udevDataFile.find('\n', start);
      if (end == std::string_view::npos) end = udevDataFile.size();
      const std::string_view line = udevDataFile.substr(start, end - start);
      start = end + 1;
      if (line.size() < 2 || line.compare(0, 2, "E:") != 0) continue;  // not a property line
      const std::string_view property = line.substr(2);
      const std::size_t equals = property.find('=');
      if (equals == std::string_view::npos) continue;
      const std::string_view key = property.substr(0, equals);
      const std::string_view value = property.substr(equals + 1);
      if (key == kEncodedLabelProperty) encoded = value;
      if (key == kLabelProperty) plain = value;
    }
    return ChooseLabel(encoded, plain, label);
  } catch (...) {
    return false;
  }
}

LinuxVolumeSource::LinuxVolumeSource(std::string procRoot, std::string sysRoot,
                                     std::string udevDataRoot)
    : procRoot_(std::move(procRoot)),
      sysRoot_(std::move(sysRoot)),
      udevDataRoot_(std::move(udevDataRoot)) {}

std::vector<Volume> LinuxVolumeSource::ListVolumes() {
  try {
    PosixFileSystem files;
    std::string text;
    // One byte more than the limit tells a cut-off file from one that just fits.
    if (files.ReadFile(Join(procRoot_, "/self/mountinfo"), kMaxMountInfoBytes + 1, text)) {
      return {};
    }
    if (text.size() > kMaxMountInfoBytes) {
      // Drop the cut-off last line: its source or options would be cut short.
      const std::size_t lastNewline = text.rfind('\n', kMaxMountInfoBytes - 1);
      text.resize(lastNewline == std::string::npos ? 0 : lastNewline + 1);
    }
    const std::vector<MountEntry> mounts = ParseMountInfo(text);

    // A mount point that is mounted over again shows only the later file system.
    std::unordered_map<std::string_view, std::size_t> lastMountAt;
    for (std::size_t i = 0; i < mounts.size(); ++i) lastMountAt[mounts[i].mountPoint] = i;

    const bool systemRoots = procRoot_ == kDefaultProcRoot && sysRoot_ == kDefaultSysRoot &&
                             udevDataRoot_ == kDefaultUdevDataRoot;
    std::optional<UdevLabels> udev;
    if (systemRoots) udev.emplace();

    // Resolved once for the whole listing, not once per volume.
    const std::optional<fs::path> sysBase = ResolvedPath(sysRoot_);

    std::vector<Volume> volumes;
    for (std::size_t i = 0; i < mounts.size(); ++i) {
      const MountEntry& mount = mounts[i];
      // A bind mount of a sub-folder is not the root folder of a volume: markers written there
      // would land in a folder of the drive, where the device does not look.
      if (mount.fsRoot != "/") continue;
      if (lastMountAt[mount.mountPoint] != i) continue;
      Volume volume;
      volume.root = mount.mountPoint;
      if (volume.root.back() != '/') volume.root.push_back('/');
      if (mount.major != 0) {
        volume.removable =
            IsRemovableBlockDevice(files, sysRoot_, sysBase, mount.major, mount.minor);
        if (udev) volume.label = udev->Label(mount.major, mount.minor);
        if (!volume.label) {
          volume.label = LabelFromUdevDataFile(files, udevDataRoot_, mount.major, mount.minor);
        }
      }
      volumes.push_back(std::move(volume));
    }
    return volumes;
  } catch (...) {
    // Out of memory or a path the standard library refuses: no volumes can be had.
    return {};
  }
}

}  // namespace vantel3
