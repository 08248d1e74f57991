// The commands of vantel3-tool (package version file, package check, device drive view,
// drive list, the updater's logs), apart from main() so that tests run them on fixtures with their
// own services.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/library_loader.h"
#include "platform/volume_source.h"

namespace vantel3 {

inline constexpr const char* kToolVersionText = "vantel3-tool 1.0.0";

// Exit statuses of the tool.
inline constexpr int kToolSuccess = 0;
inline constexpr int kToolFailure = 1;  // the command failed, or found problems
inline constexpr int kToolUsageError = 2;

struct ToolServices {
  FileSystem& fs;
  LibraryLoader& loader;
  // The volumes list-drives shows: the machine's own for an empty `snapshotRoot`, else those
  // of a captured tree holding proc, sys and run/udev/data under that folder.
  std::function<std::unique_ptr<VolumeSource>(const std::string& snapshotRoot)> makeVolumes;
  // The updater's log folder (the system's; empty when it names none).
  std::string logFolder = {};
};

// Runs one command line (`args` without the program's name), writing its report to `out`
// and errors to `err`. Returns kToolSuccess, kToolFailure, or kToolUsageError after one line
// on `err` for an unknown command, option or a missing argument.
[[nodiscard]] int RunTool(const std::vector<std::string>& args, ToolServices& services,
                          std::ostream& out, std::ostream& err);

// One line per volume ("<root>\t<removable|fixed>\t<\"label\"|(no label)>"), "no mounted
// volumes" when there are none, then "device drive: <root>" or "device drive: none" for the
// volume the updater would take.
void PrintVolumes(VolumeSource& volumes, std::ostream& out);

}  // namespace vantel3
