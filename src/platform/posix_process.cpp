#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/process.h"
#include "platform/program_path.h"

extern char** environ;

namespace vantel3 {

std::vector<std::string> StartProgram(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string RunningProgramPath() {
  return ProcSelfExePath().ExecutablePath();
}

int MakeTempFolder(const std::string& prefix, std::string& folder, std::string& error) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" + prefix + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    error = "cannot create a temp folder from " + pattern + ": " + std::strerror(errno);
    return 0;
  }
  std::error_code ec;
  folder = std::filesystem::absolute(pattern, ec).lexically_normal().string();
  if (ec) folder = pattern;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return 1;
}

int RunHelperProgram(const std::vector<std::string>& argv, std::string& error) {
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

void KillThisProcess() {
  ::raise(SIGKILL);
  ::_exit(137);  // not reached: SIGKILL cannot be caught
}

}  // namespace vantel3
