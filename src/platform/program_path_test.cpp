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

TEST(UserWritableProgramPathTest,
     MovesTheMarkerToTheUserStateFolderOnlyWhenTheProgramFolderIsReadOnly) {
  struct Case {
    const char* name;
    bool programFolderWritable;
    std::string xdgState;
    std::string home;
    bool canCreate;
    std::string expected;
  };
  const Case cases[] = {
      {"unpacked by the user", true, "/s", "/home/anna", true, "/opt/v/vantel3-updater"},
      {"installed, XDG state", false, "/s", "/home/anna", true,
       "/s/vantel3-updater/vantel3-updater"},
      {"installed, home", false, "", "/home/anna", true,
       "/home/anna/.local/state/vantel3-updater/vantel3-updater"},
      {"relative XDG state is ignored", false, "rel", "/home/anna", true,
       "/home/anna/.local/state/vantel3-updater/vantel3-updater"},
      {"no home", false, "", "", true, "/opt/v/vantel3-updater"},
      {"state folder cannot be made", false, "/s", "/home/anna", false, "/opt/v/vantel3-updater"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int lookups = 0;
    UserWritableProgramPath path({
        [&] {
          ++lookups;
          return std::string("/opt/v/vantel3-updater");
        },
        [&](const std::string& folder) {
          EXPECT_EQ(folder, "/opt/v/");
          return c.programFolderWritable;
        },
        [&](const char* name) { return std::string(name) == "HOME" ? c.home : c.xdgState; },
        [&](const std::string&) { return c.canCreate; },
    });
    EXPECT_EQ(path.ExecutablePath(), c.expected);
    EXPECT_EQ(path.ExecutablePath(), c.expected);
    EXPECT_EQ(lookups, 1);  // resolved once
  }
}

}  // namespace
}  // namespace vantel3
