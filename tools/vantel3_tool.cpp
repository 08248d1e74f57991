// vantel3-tool: the command line for packagers and support staff, on the real file system,
// dynamic loader and mounted volumes.
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/library_loader.h"
#include "platform/linux_volume_source.h"
#include "platform/posix_file_system.h"
#include "platform/system_services.h"
#include "tool_main.h"

int main(int argc, char** argv) {
  try {
    vantel3::PosixFileSystem fs;
    vantel3::DlLibraryLoader loader;
    vantel3::ToolServices services{
        fs, loader, [](const std::string& snapshotRoot) -> std::unique_ptr<vantel3::VolumeSource> {
          if (snapshotRoot.empty()) return std::make_unique<vantel3::LinuxVolumeSource>();
          return std::make_unique<vantel3::LinuxVolumeSource>(
              snapshotRoot + "/proc", snapshotRoot + "/sys", snapshotRoot + "/run/udev/data");
        }};
    services.logFolder = vantel3::MakeSystemServices()->logFolder();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return vantel3::RunTool(args, services, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "vantel3-tool: error: " << e.what() << "\n";
    return vantel3::kToolFailure;
  }
}
