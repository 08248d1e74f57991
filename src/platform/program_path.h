// The path of the program's own executable file, beside which "fa.bin" lives.
#pragma once

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

// A fixed path, for tests and the simulated device's workspace.
class FixedProgramPath final : public ProgramPath {
 public:
  explicit FixedProgramPath(std::string path) : path_(std::move(path)) {}
  std::string ExecutablePath() override { return path_; }

 private:
  std::string path_;
};

}  // namespace vantel3
