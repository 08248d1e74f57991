#include "formats/markers.h"

#include <string_view>

#include "platform/path_limit.h"

namespace vantel3 {

namespace {

constexpr std::string_view kUpdateGoContent = "\x07";
constexpr std::string_view kProgramMarkerContent = "\x01";

std::string_view MarkerContent(DeviceMarker marker) {
  return marker == DeviceMarker::kUpdateGo ? kUpdateGoContent : std::string_view();
}

}  // namespace

const char* DeviceMarkerName(DeviceMarker marker) {
  switch (marker) {
    case DeviceMarker::kUpdateGo:
      return "update_go";
    case DeviceMarker::kFilesCopied:
      return "files_cp_ok_pc";
    case DeviceMarker::kFirmwareNo:
      return "firmware.no";
  }
  return "";
}

int FlushDeviceDrive(FileSystem& fs, std::string_view deviceRoot) {
  const Path root{std::string(deviceRoot)};
  return fs.SyncFileSystem(root) || fs.FlushFile(root) ? 0 : 1;
}

int WriteFlushedDeviceMarker(FileSystem& fs, std::string_view deviceRoot, DeviceMarker marker) {
  std::string path;
  if (!JoinPath(deviceRoot, DeviceMarkerName(marker), path)) return 0;
  const Path root{std::string(deviceRoot)};
  if (fs.WriteFile(path, MarkerContent(marker))) return 0;
  if (fs.FlushFile(path) || fs.FlushFile(root)) return 0;
  return 1;
}

int WriteDeviceMarker(FileSystem& fs, std::string_view deviceRoot, DeviceMarker marker) {
  std::string path;
  if (!JoinPath(deviceRoot, DeviceMarkerName(marker), path)) return 0;
  // The device acts on the marker as soon as it sees it, so everything written before must
  // already be on the medium; if that cannot be promised, the marker is not written.
  if (FlushDeviceDrive(fs, deviceRoot) == 0) return 0;
  return WriteFlushedDeviceMarker(fs, deviceRoot, marker);
}

std::string GetProgramMarkerPath(ProgramPath& programPath) {
  const std::string program = programPath.ExecutablePath();
  const std::size_t slash = program.rfind('/');
  const std::size_t backslash = program.rfind('\\');
  std::size_t separator = std::string::npos;
  if (slash != std::string::npos) separator = slash;
  if (backslash != std::string::npos && (separator == std::string::npos || backslash > separator)) {
    separator = backslash;
  }
  if (separator == std::string::npos) return kProgramMarkerName;
  std::string path;
  if (!JoinPath(std::string_view(program).substr(0, separator + 1), kProgramMarkerName, path)) {
    return {};
  }
  return path;
}

void WriteProgramMarker(FileSystem& fs, ProgramPath& programPath) {
  const std::string path = GetProgramMarkerPath(programPath);
  if (path.empty()) return;
  if (fs.WriteFile(path, kProgramMarkerContent)) return;
  (void)fs.FlushFile(path);
}

}  // namespace vantel3
