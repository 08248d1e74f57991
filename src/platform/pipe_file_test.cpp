// PosixFileSystem meets pipes where files are expected (a package folder or a device drive that
// is a plain folder may hold anything): every call answers with an error at once, none waits
// for the other end of the pipe.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/platform_test_dir.h"
#include "platform/posix_file_system.h"

namespace vantel3 {
namespace {

// Runs `call`; should it block on the FIFO (the fault this guards against), opens and closes
// the FIFO's other end after a while so the call returns and the test fails instead of
// hanging. A passing call never waits.
bool ReturnsWithoutTheOtherEnd(const std::string& fifo, const std::function<void()>& call) {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool released = false;
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (done.wait_for(lock, std::chrono::seconds(20), [&] { return finished; })) return;
    released = true;
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  });
  call();
  {
    std::lock_guard<std::mutex> lock(mutex);
    finished = true;
  }
  done.notify_one();
  watchdog.join();
  return !released;
}

class SpecialFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::signal(SIGPIPE, SIG_IGN);  // a write into a released pipe must not end the test program
    ASSERT_EQ(::mkfifo(fifo_.c_str(), 0600), 0);
  }

  PlatformTestDir dir_;
  const std::string fifo_ = (dir_ / "pipe").string();
  const std::string file_ = (dir_ / "file").string();
  PosixFileSystem fs_;
};

TEST_F(SpecialFileTest, ReadingAPipeIsRefusedAtOnce) {
  std::string out = "old";
  std::error_code ec;
  EXPECT_TRUE(ReturnsWithoutTheOtherEnd(fifo_, [&] { ec = fs_.ReadFile(fifo_, 1024, out); }));
  EXPECT_EQ(ec, std::errc::invalid_argument);
  EXPECT_EQ(out, "");
}

TEST_F(SpecialFileTest, CopyingFromOrOntoAPipeIsRefusedAtOnce) {
  WriteTestFile(file_, "content");
  std::error_code from;
  std::error_code onto;
  EXPECT_TRUE(ReturnsWithoutTheOtherEnd(fifo_, [&] { from = fs_.CopyFile(fifo_, file_); }));
  EXPECT_TRUE(from);
  EXPECT_EQ(ReadTestFile(file_), "content");
  EXPECT_TRUE(ReturnsWithoutTheOtherEnd(fifo_, [&] { onto = fs_.CopyFile(file_, fifo_); }));
  EXPECT_TRUE(onto);
  EXPECT_EQ(ReadTestFile(file_), "content");
}

TEST_F(SpecialFileTest, WritingOrFlushingAPipeReturnsAtOnce) {
  std::error_code written;
  EXPECT_TRUE(ReturnsWithoutTheOtherEnd(fifo_, [&] { written = fs_.WriteFile(fifo_, "x"); }));
  EXPECT_TRUE(written);  // no reader: nothing can take the data
  EXPECT_TRUE(ReturnsWithoutTheOtherEnd(fifo_, [&] { (void)fs_.FlushFile(fifo_); }));
  EXPECT_TRUE(ReturnsWithoutTheOtherEnd(fifo_, [&] { (void)fs_.SyncFileSystem(fifo_); }));
}

}  // namespace
}  // namespace vantel3
