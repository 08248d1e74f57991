// The mounted volumes as the updater sees them: where each is mounted, whether it sits on a
// removable medium, and its label. The device drive is found among these.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vantel3 {

struct Volume {
  // Mount point with a trailing "/", e.g. "/media/anna/VANTEL3/". Device paths are this
  // root followed directly by a name.
  std::string root;
  bool removable = false;
  // The file system's label; empty optional when it cannot be read.
  std::optional<std::string> label;
};

class VolumeSource {
 public:
  virtual ~VolumeSource() = default;
  // The mounted volumes in the platform's order (for Linux: the order of mountinfo).
  // An empty list when they cannot be had.
  virtual std::vector<Volume> ListVolumes() = 0;
};

// A fixed list, for tests and tools.
class StaticVolumeSource final : public VolumeSource {
 public:
  explicit StaticVolumeSource(std::vector<Volume> volumes = {}) : volumes_(std::move(volumes)) {}
  std::vector<Volume> ListVolumes() override { return volumes_; }
  void Set(std::vector<Volume> volumes) { volumes_ = std::move(volumes); }

 private:
  std::vector<Volume> volumes_;
};

}  // namespace vantel3
