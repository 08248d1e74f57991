#include "platform/program_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform_test_dir.h"

namespace vantel3 {
namespace {

namespace fs = std::filesystem;

TEST(ProcSelfExePathTest, GivesTheTargetOfSelfExeUnderTheProcRoot) {
  PlatformTestDir dir;
  fs::create_directories(dir / "self");
  // The link need not resolve: the running program may have been replaced on disk.
  fs::create_symlink("/opt/vantel 3/bin/vantel3-updater", dir / "self/exe");
  EXPECT_EQ(ProcSelfExePath(dir.path().string()).ExecutablePath(),
            "/opt/vantel 3/bin/vantel3-updater");
}

TEST(ProcSelfExePathTest, IsEmptyWhenThereIsNoLink) {
  PlatformTestDir dir;
  EXPECT_EQ(ProcSelfExePath(dir.path().string()).ExecutablePath(), "");
  WriteTestFile(dir / "self/exe", "a file, not a link");
  EXPECT_EQ(ProcSelfExePath(dir.path().string()).ExecutablePath(), "");
}

TEST(ProcSelfExePathTest, TheRealProcGivesThisTestProgram) {
  const std::string path = ProcSelfExePath().ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_EQ(fs::path(path).filename(), "vantel3_unit_tests");
  EXPECT_TRUE(fs::is_regular_file(path));
}

}  // namespace
}  // namespace vantel3
