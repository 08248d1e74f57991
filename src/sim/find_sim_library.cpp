#include <cstdlib>
#include <string>

#include "dfu/dfu_binding.h"
#include "platform/path_limit.h"
#include "platform/process.h"
#include "platform/system_services.h"
#include "sim/sim_workspace.h"

namespace vantel3 {

std::string FindSimLibrary() {
  std::unique_ptr<FileSystem> fs = MakeNativeFileSystem();
  if (const char* env = std::getenv("VANTEL3_SIM_LIBRARY"); env != nullptr && *env != '\0') {
    if (fs->Exists(env)) return env;
  }
  if (const std::string exe = RunningProgramPath(); !exe.empty()) {
    const std::size_t separator = exe.find_last_of(kPathSeparators);
    if (separator != std::string::npos) {
      const std::string candidate =
          exe.substr(0, separator + 1) + "../lib/vantel3/" + kDfuLibraryFileName;
      if (fs->Exists(candidate)) return candidate;
    }
  }
#ifdef VANTEL3_SIM_LIBRARY_BUILD_PATH
  if (fs->Exists(VANTEL3_SIM_LIBRARY_BUILD_PATH)) return VANTEL3_SIM_LIBRARY_BUILD_PATH;
#endif
  return {};
}

}  // namespace vantel3
