#include "platform/fault_injecting_file_system.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include <unistd.h>

#include "platform/native_file_system.h"

namespace vantel3 {
namespace {

namespace stdfs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(GlobMatchTest, MatchesLikeFnmatchWithoutPathnameOrEscapes) {
  struct Case {
    const char* pattern;
    const char* text;
    bool matches;
  };
  const Case cases[] = {
      {"*/Music_temp", "/mnt/sd0/Music_temp", true},
      {"*/Music_temp", "/mnt/sd0/Music_temp/x", false},
      {"*/Music_temp*", "/mnt/sd0/Music_temp/x", true},  // "*" crosses "/"
      {"*", "", true},
      {"", "", true},
      {"", "a", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"*.b?n", "RU3R.bin", true},
      {"[a-c]x", "bx", true},
      {"[a-c]x", "dx", false},
      {"[!a-c]x", "dx", true},
      {"[]]", "]", true},
      {"[ab", "[ab", true},                      // unclosed class is a literal "["
      {"E:\\Music*", "E:\\Music_temp\\", true},  // "\" is not an escape
      {"*a*b*c", "xxaxxbxxbxc", true},
      {"*a*b*c", "xxaxxbxxbx", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GlobMatch(c.pattern, c.text), c.matches) << c.pattern << " vs " << c.text;
  }
}

class FaultInjectingFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = stdfs::temp_directory_path() /
            ("vantel3_fifs_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    stdfs::remove_all(root_);
    stdfs::create_directories(root_);
  }
  void TearDown() override { stdfs::remove_all(root_); }

  Path At(const std::string& name) const { return root_ / name; }

  Path root_;
  NativeFileSystem posix_;
  FaultInjectingFileSystem fs_{posix_};
};

TEST_F(FaultInjectingFileSystemTest, CountedRuleFailsTheNextMatchingCallsWithoutReachingTheDisk) {
  const int rule =
      fs_.AddFault(FsOp::kCreateDirectory, "*/Music_temp", std::errc::permission_denied, 2);
  EXPECT_EQ(fs_.CreateDirectory(At("other")), std::error_code{});  // not matching
  EXPECT_EQ(fs_.CreateDirectory(At("Music_temp")), std::errc::permission_denied);
  EXPECT_FALSE(stdfs::exists(At("Music_temp")));
  EXPECT_EQ(fs_.RemainingFailures(rule), 1);
  EXPECT_EQ(fs_.CreateDirectory(At("Music_temp") / ""), std::errc::permission_denied);
  EXPECT_EQ(fs_.RemainingFailures(rule), 0);
  EXPECT_EQ(fs_.CreateDirectory(At("Music_temp")), std::error_code{});
  EXPECT_TRUE(stdfs::is_directory(At("Music_temp")));

  const auto calls = fs_.Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_FALSE(calls[0].injected);
  EXPECT_TRUE(calls[1].injected);
  EXPECT_EQ(calls[1].result, std::errc::permission_denied);
  EXPECT_TRUE(calls[2].injected);
  EXPECT_FALSE(calls[3].injected);
}

TEST_F(FaultInjectingFileSystemTest, AlwaysRuleHoldsUntilRemovedAndFirstAddedRuleDecides) {
  ASSERT_EQ(posix_.WriteFile(At("y"), "data"), std::error_code{});
  const int always = fs_.AddFault(FsOp::kRemoveFile, "*/y", std::errc::device_or_resource_busy);
  fs_.AddFault(FsOp::kRemoveFile, "*", std::errc::io_error, 1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(fs_.RemoveFile(At("y")), std::errc::device_or_resource_busy);
  }
  EXPECT_EQ(fs_.RemainingFailures(always), FaultInjectingFileSystem::kAlways);
  fs_.RemoveFault(always);
  EXPECT_EQ(fs_.RemoveFile(At("y")), std::errc::io_error);  // the second rule, once
  EXPECT_EQ(fs_.RemoveFile(At("y")), std::error_code{});
  EXPECT_FALSE(stdfs::exists(At("y")));
}

TEST_F(FaultInjectingFileSystemTest, RenameMatchesItsSourceAndCopyEitherPath) {
  ASSERT_EQ(posix_.WriteFile(At("a"), "x"), std::error_code{});
  fs_.AddFault(FsOp::kRename, "*/b", std::errc::permission_denied);
  EXPECT_EQ(fs_.Rename(At("a"), At("b")), std::error_code{});  // destination does not match
  EXPECT_EQ(fs_.Rename(At("b"), At("a")), std::errc::permission_denied);

  fs_.AddFault(FsOp::kCopyFile, "*/to_*", std::errc::no_space_on_device);
  fs_.AddFault(FsOp::kCopyFile, "*/from_*", std::errc::io_error);
  ASSERT_EQ(posix_.WriteFile(At("from_1"), "x"), std::error_code{});
  EXPECT_EQ(fs_.CopyFile(At("b"), At("to_1")), std::errc::no_space_on_device);
  EXPECT_EQ(fs_.CopyFile(At("from_1"), At("c")), std::errc::io_error);
  EXPECT_EQ(fs_.CopyFile(At("b"), At("c")), std::error_code{});
  EXPECT_EQ(fs_.CountCalls(FsOp::kCopyFile, "*/c"), 2u);
}

TEST_F(FaultInjectingFileSystemTest, LogListsCreatedRemovedFlushedAndSyncedInOrder) {
  EXPECT_EQ(fs_.CreateDirectory(At("d")), std::error_code{});
  EXPECT_EQ(fs_.WriteFile(At("d/f"), "1"), std::error_code{});
  EXPECT_EQ(fs_.CopyFile(At("d/f"), At("d/g")), std::error_code{});
  EXPECT_EQ(fs_.CreateDirectory(At("missing/x")), std::errc::no_such_file_or_directory);
  EXPECT_EQ(fs_.FlushFile(At("d/g")), std::error_code{});
  EXPECT_EQ(fs_.FlushFile(At("d")), std::error_code{});
  EXPECT_EQ(fs_.SyncFileSystem(At("d")), std::error_code{});
  EXPECT_EQ(fs_.RemoveFile(At("d/f")), std::error_code{});
  EXPECT_FALSE(fs_.Exists(At("d/f")));

  EXPECT_THAT(fs_.Created(), ElementsAre(At("d"), At("d/f"), At("d/g")));
  EXPECT_THAT(fs_.Flushed(), ElementsAre(At("d/g"), At("d")));
  EXPECT_THAT(fs_.Synced(), ElementsAre(At("d")));
  EXPECT_THAT(fs_.Removed(), ElementsAre(At("d/f")));
  const auto calls = fs_.Calls();
  EXPECT_EQ(calls.back().op, FsOp::kExists);
  EXPECT_EQ(calls.back().result, std::errc::no_such_file_or_directory);
  EXPECT_EQ(fs_.FindCall(FsOp::kFlushFile), 4u);
  EXPECT_EQ(fs_.FindCall(FsOp::kFlushFile, "*", 5), 5u);
  EXPECT_EQ(fs_.FindCall(FsOp::kRename), FaultInjectingFileSystem::kNotFound);
  fs_.ClearLog();
  EXPECT_EQ(fs_.CallCount(), 0u);
}

TEST_F(FaultInjectingFileSystemTest, WrittenNotFlushedFollowsFlushesRemovalsAndRenames) {
  ASSERT_EQ(fs_.CreateDirectory(At("t")), std::error_code{});
  ASSERT_EQ(fs_.WriteFile(At("t/a"), "1"), std::error_code{});
  ASSERT_EQ(fs_.WriteFile(At("t/b"), "1"), std::error_code{});
  ASSERT_EQ(fs_.WriteFile(At("c"), "1"), std::error_code{});
  ASSERT_EQ(fs_.FlushFile(At("t/./a")), std::error_code{});     // same path, other spelling
  ASSERT_EQ(fs_.WriteFile(At("t/a"), "2"), std::error_code{});  // written again after the flush
  ASSERT_EQ(fs_.RemoveFile(At("c")), std::error_code{});
  const std::size_t beforeRename = fs_.CallCount();
  ASSERT_EQ(fs_.Rename(At("t") / "", At("final")), std::error_code{});
  ASSERT_EQ(fs_.FlushFile(At("final/b")), std::error_code{});
  ASSERT_EQ(fs_.WriteFile(At("marker"), "go"), std::error_code{});
  const std::size_t marker = fs_.FindCall(FsOp::kWriteFile, "*/marker");

  EXPECT_THAT(fs_.WrittenNotFlushed(beforeRename), ElementsAre(At("t"), At("t/b"), At("t/a")));
  EXPECT_THAT(fs_.WrittenNotFlushed(marker), ElementsAre(At("final/a"), At("final")));
  EXPECT_THAT(fs_.WrittenNotFlushed(marker, "*/final"), ElementsAre(At("final")));
  EXPECT_THAT(fs_.WrittenNotFlushed(fs_.CallCount(), "*/marker"), ElementsAre(At("marker")));
  EXPECT_THAT(fs_.WrittenNotFlushed(0), IsEmpty());
}

TEST_F(FaultInjectingFileSystemTest, HookRunsBeforeTheCallAndItsOwnCallsDoNotReenterIt) {
  ASSERT_EQ(posix_.WriteFile(At("image.bin"), "data"), std::error_code{});
  std::vector<std::pair<FsOp, Path>> seen;
  fs_.SetHook([&](FsOp op, const Path& path) {
    seen.emplace_back(op, path);
    // The device takes the drive away as soon as the copy starts.
    if (op == FsOp::kCopyFile) {
      EXPECT_EQ(fs_.RemoveFile(path), std::error_code{});
    }
  });
  EXPECT_EQ(fs_.CopyFile(At("image.bin"), At("copy.bin")), std::errc::no_such_file_or_directory);
  EXPECT_FALSE(stdfs::exists(At("copy.bin")));
  ASSERT_EQ(seen.size(), 1u);  // the hook's own RemoveFile did not call it again
  EXPECT_EQ(seen[0].first, FsOp::kCopyFile);
  EXPECT_EQ(fs_.CountCalls(FsOp::kRemoveFile), 1u);  // but it was logged

  fs_.SetHook({});
  EXPECT_FALSE(fs_.Exists(At("image.bin")));
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(FaultInjectingFileSystemTest, CountedRuleFailsExactlyItsCountUnderConcurrentCalls) {
  constexpr int kThreads = 4;
  constexpr int kCallsPerThread = 200;
  constexpr int kFailures = 150;
  fs_.AddFault(FsOp::kStatus, "*", std::errc::device_or_resource_busy, kFailures);
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kCallsPerThread; ++i) {
        EntryType type;
        if (fs_.Status(root_, type)) ++failed;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failed.load(), kFailures);
  EXPECT_EQ(fs_.CallCount(), static_cast<std::size_t>(kThreads * kCallsPerThread));
}

}  // namespace
}  // namespace vantel3
