#include "ui/worker_launcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

namespace vantel3 {
namespace {

void WaitUntilIdle(const WorkerLauncher& launcher) {
  while (launcher.Running()) std::this_thread::yield();
}

TEST(WorkerLauncherTest, AStartWhileAWorkerRunsIsIgnored) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> bodies{0};
  std::thread workerThread;
  std::thread::id workerId;
  WorkerLauncher launcher(workerThread, [&] {
    workerId = std::this_thread::get_id();
    ++bodies;
    released.wait();
  });

  ASSERT_EQ(launcher.Start(), 1);
  EXPECT_TRUE(launcher.Running());
  // The running worker is the one recorded as the context's worker thread.
  EXPECT_TRUE(workerThread.joinable());
  // A double click on Retry: neither a second worker nor a wait for the first.
  EXPECT_EQ(launcher.Start(), 0);
  EXPECT_EQ(launcher.Start(), 0);
  EXPECT_EQ(launcher.StartedCount(), 1);

  release.set_value();
  WaitUntilIdle(launcher);
  EXPECT_EQ(bodies.load(), 1);
  EXPECT_EQ(workerThread.get_id(), workerId);

  // Once the worker has ended, the next Start runs a fresh one.
  ASSERT_EQ(launcher.Start(), 1);
  WaitUntilIdle(launcher);
  EXPECT_EQ(bodies.load(), 2);
  EXPECT_EQ(launcher.StartedCount(), 2);
}

TEST(WorkerLauncherTest, AThrowingBodyEndsTheWorkerCleanly) {
  std::thread workerThread;
  WorkerLauncher launcher(workerThread, [] { throw std::runtime_error("boom"); });
  ASSERT_EQ(launcher.Start(), 1);
  WaitUntilIdle(launcher);
  EXPECT_EQ(launcher.Start(), 1);
  WaitUntilIdle(launcher);
}

}  // namespace
}  // namespace vantel3
