// vantel3-tool: the command line for packagers and support staff, on the real file system,
// library loader and drives of the system it runs on.
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/system_services.h"
#include "tool_main.h"

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args = vantel3::StartProgram(argc, argv);
    std::unique_ptr<vantel3::SystemServices> system = vantel3::MakeSystemServices();
    vantel3::ToolServices services{
        system->fs(), system->loader(),
        [&system](const std::string& snapshotRoot) -> std::unique_ptr<vantel3::VolumeSource> {
          if (snapshotRoot.empty()) {
            return std::make_unique<vantel3::StaticVolumeSource>(system->volumes().ListVolumes());
          }
          return vantel3::MakeCapturedVolumeSource(snapshotRoot);
        }};
    return vantel3::RunTool(args, services, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "vantel3-tool: error: " << e.what() << "\n";
    return vantel3::kToolFailure;
  }
}
