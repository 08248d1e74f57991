// The path of the program's own executable file, beside which "fa.bin" lives.
#pragma once

#include <functional>
#include <string>

namespace vantel3 {

class ProgramPath {
 public:
  virtual ~ProgramPath() = default;
  // Absolute path of the running program; empty when it cannot be had.
  virtual std::string ExecutablePath() = 0;
};

// Reads /proc/self/exe (the link target; the proc root is injectable for tests).
class ProcSelfExePath final : public ProgramPath {
 public:
  explicit ProcSelfExePath(std::string procRoot = "/proc") : procRoot_(std::move(procRoot)) {}
  std::string ExecutablePath() override;

 private:
  std::string procRoot_;
};

// The program's path where its folder accepts files (as a program unpacked by the user does);
// for a program installed where the user cannot write (/usr/bin), the same file name in the
// user's state folder ($XDG_STATE_HOME, else ~/.local/state, + "/vantel3-updater/"), which it
// creates. So "fa.bin" is always written somewhere the next run finds it, instead of being
// lost silently.
class UserWritableProgramPath final : public ProgramPath {
 public:
  struct Environment {
    std::function<std::string()> executablePath;
    std::function<bool(const std::string& folder)> isWritable;
    std::function<std::string(const char* name)> getEnv;
    std::function<bool(const std::string& folder)> createFolders;
  };
  UserWritableProgramPath();  // the real /proc/self/exe, access(2), getenv, mkdir -p
  explicit UserWritableProgramPath(Environment environment)
      : environment_(std::move(environment)) {}
  // Resolved once: the marker must not move between the write and the next read.
  std::string ExecutablePath() override;

 private:
  Environment environment_;
  bool resolved_ = false;
  std::string path_;
};

// A fixed path, for tests and the simulated device's workspace.
class FixedProgramPath final : public ProgramPath {
 public:
  explicit FixedProgramPath(std::string path) : path_(std::move(path)) {}
  std::string ExecutablePath() override { return path_; }

 private:
  std::string path_;
};

}  // namespace vantel3
