#include "platform/program_path.h"

#include <unistd.h>

#include <array>

namespace vantel3 {

std::string ProcSelfExePath::ExecutablePath() {
  const std::string link = procRoot_ + "/self/exe";
  std::array<char, 4096> buffer;
  const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

}  // namespace vantel3
