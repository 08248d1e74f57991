#include <cstdlib>
#include <string>

#include "platform/posix_file_system.h"
#include "platform/program_path.h"
#include "sim/sim_workspace.h"

namespace vantel3 {

std::string FindSimLibrary() {
  PosixFileSystem fs;
  if (const char* env = std::getenv("VANTEL3_SIM_LIBRARY"); env != nullptr && *env != '\0') {
    if (fs.Exists(env)) return env;
  }
  ProcSelfExePath self;
  if (const std::string exe = self.ExecutablePath(); !exe.empty()) {
    const Path candidate =
        (Path(exe).parent_path() / ".." / "lib" / "vantel3" / "libhiddfu.so").lexically_normal();
    if (fs.Exists(candidate)) return candidate.string();
  }
#ifdef VANTEL3_SIM_LIBRARY_BUILD_PATH
  if (fs.Exists(VANTEL3_SIM_LIBRARY_BUILD_PATH)) return VANTEL3_SIM_LIBRARY_BUILD_PATH;
#endif
  return {};
}

}  // namespace vantel3
