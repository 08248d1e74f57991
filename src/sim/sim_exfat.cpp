#include "sim/sim_exfat.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace vantel3 {

SimExfatDevices SimExfatDevicesFromEnvironment() {
  SimExfatDevices devices;
  const char* sd0 = std::getenv(kSimExfatSd0Variable);
  const char* sd1 = std::getenv(kSimExfatSd1Variable);
  if (sd0 != nullptr && sd1 != nullptr && *sd0 != '\0' && *sd1 != '\0') {
    devices.sd0 = sd0;
    devices.sd1 = sd1;
  }
  return devices;
}

int RunSimHelper(const std::vector<std::string>& argv, std::string& error) {
  if (argv.empty()) {
    error = "no program to run";
    return -1;
  }
  std::vector<std::string> store = argv;
  std::vector<char*> args;
  for (std::string& a : store) args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    error = argv[0] + ": " + std::strerror(spawned);
    return -1;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      error = argv[0] + ": " + std::strerror(errno);
      return -1;
    }
  }
  if (!WIFEXITED(status)) {
    error = argv[0] + " did not exit normally";
    return -1;
  }
  if (WEXITSTATUS(status) != 0)
    error = argv[0] + " exited with " + std::to_string(WEXITSTATUS(status));
  return WEXITSTATUS(status);
}

int MountExfat(const std::string& device, const std::string& dir, std::string& error) {
  return RunSimHelper({"mount.exfat-fuse", "-o", "noatime", device, dir}, error) == 0 ? 1 : 0;
}

int UnmountExfat(const std::string& dir, std::string& error) {
  if (RunSimHelper({"fusermount", "-u", dir}, error) == 0) return 1;
  return RunSimHelper({"fusermount", "-u", "-z", dir}, error) == 0 ? 1 : 0;
}

}  // namespace vantel3
