#include "ui/worker_launcher.h"

#include <system_error>
#include <utility>

namespace vantel3 {

WorkerLauncher::WorkerLauncher(std::thread& thread, std::function<void()> body)
    : body_(std::move(body)), thread_(thread) {}

WorkerLauncher::~WorkerLauncher() {
  if (!thread_.joinable()) return;
  if (Running()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

int WorkerLauncher::Start() {
  if (Running()) return 0;
  // The previous worker has returned from its body; joining only collects the thread.
  if (thread_.joinable()) thread_.join();
  running_.store(true, std::memory_order_release);
  try {
    thread_ = std::thread([this] {
      try {
        body_();
      } catch (...) {
        // An update run reports its failures on screen; nothing may escape the thread.
      }
      running_.store(false, std::memory_order_release);
      if (onFinished_) onFinished_();
    });
  } catch (const std::system_error&) {
    running_.store(false, std::memory_order_release);
    return 0;
  }
  ++started_;
  return 1;
}

}  // namespace vantel3
