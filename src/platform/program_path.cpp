#include "platform/program_path.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vantel3 {

std::string ProcSelfExePath::ExecutablePath() {
  const std::string link = procRoot_ + "/self/exe";
  std::array<char, 4096> buffer;
  const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

UserWritableProgramPath::UserWritableProgramPath()
    : environment_{
          [] { return ProcSelfExePath().ExecutablePath(); },
          [](const std::string& folder) { return ::access(folder.c_str(), W_OK) == 0; },
          [](const char* name) {
            const char* value = std::getenv(name);
            return value != nullptr ? std::string(value) : std::string();
          },
          [](const std::string& folder) {
            std::error_code ec;
            std::filesystem::create_directories(folder, ec);
            return !ec && std::filesystem::is_directory(folder, ec);
          },
      } {}

std::string UserWritableProgramPath::ExecutablePath() {
  if (resolved_) return path_;
  resolved_ = true;
  path_ = environment_.executablePath();
  const std::size_t slash = path_.rfind('/');
  if (slash == std::string::npos) return path_;
  const std::string folder = path_.substr(0, slash + 1);
  if (environment_.isWritable(folder)) return path_;

  std::string state = environment_.getEnv("XDG_STATE_HOME");
  if (state.empty() || state[0] != '/') {
    const std::string home = environment_.getEnv("HOME");
    if (home.empty()) return path_;  // nowhere better: keep the program's own folder
    state = home + "/.local/state";
  }
  const std::string userFolder = state + "/vantel3-updater/";
  if (!environment_.createFolders(userFolder)) return path_;
  path_ = userFolder + path_.substr(slash + 1);
  return path_;
}

}  // namespace vantel3
