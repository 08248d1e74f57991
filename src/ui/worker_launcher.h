// Starts update workers on their own thread, one at a time, without ever waiting for a
// running one: the worker may itself be waiting for the thread that starts it.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace vantel3 {

class WorkerLauncher {
 public:
  // `body` is one update run; it is called on a new thread by every successful Start(), which
  // records that thread in `thread` (the update context's workerThread).
  WorkerLauncher(std::thread& thread, std::function<void()> body);
  // Joins a finished worker. A worker that still runs is detached: the process is about to
  // end with it, and waiting could deadlock.
  ~WorkerLauncher();

  WorkerLauncher(const WorkerLauncher&) = delete;
  WorkerLauncher& operator=(const WorkerLauncher&) = delete;

  // Starts a worker when none runs: 1. While the previous worker still runs (or when no thread
  // can be started) nothing changes: 0. Call from one thread only (the GUI thread).
  [[nodiscard]] int Start();

  // True from a successful Start() until the worker's body has returned.
  [[nodiscard]] bool Running() const { return running_.load(std::memory_order_acquire); }

  // Called on the worker's thread right after each worker has ended (Running() is already
  // false), e.g. to post a note to the GUI thread; it must not wait for the GUI thread. Set
  // it before the first Start().
  void SetOnFinished(std::function<void()> onFinished) { onFinished_ = std::move(onFinished); }

  // Number of workers started so far.
  [[nodiscard]] int StartedCount() const { return started_; }

 private:
  std::function<void()> body_;
  std::function<void()> onFinished_;
  std::thread& thread_;
  std::atomic<bool> running_{false};
  int started_ = 0;
};

}  // namespace vantel3
