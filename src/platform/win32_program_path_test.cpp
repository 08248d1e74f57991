#include <gtest/gtest.h>

#include <string>

#include "platform/process.h"
#include "platform/program_path.h"

namespace vantel3 {
namespace {

TEST(Win32ProgramPathTest, MovesTheMarkerToLocalAppDataOnlyWhenTheProgramFolderTakesNoFiles) {
  struct Case {
    const char* name;
    bool programFolderWritable;
    std::string localAppData;
    bool canCreate;
    std::string expected;
  };
  const std::string program = "C:\\Program Files\\Vantel3 Updater\\vantel3-updater.exe";
  const Case cases[] = {
      {"unpacked by the user", true, "C:\\Users\\anna\\AppData\\Local", true, program},
      {"installed", false, "C:\\Users\\anna\\AppData\\Local", true,
       "C:\\Users\\anna\\AppData\\Local\\Vantel3 Updater\\vantel3-updater.exe"},
      {"installed, trailing backslash", false, "D:\\Local\\", true,
       "D:\\Local\\Vantel3 Updater\\vantel3-updater.exe"},
      {"no LOCALAPPDATA", false, "", true, program},
      {"folder cannot be made", false, "C:\\Users\\anna\\AppData\\Local", false, program},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int lookups = 0;
    std::string created;
    UserWritableProgramPath path({
        [&] {
          ++lookups;
          return program;
        },
        [&](const std::string& folder) {
          EXPECT_EQ(folder, "C:\\Program Files\\Vantel3 Updater\\");
          return c.programFolderWritable;
        },
        [&](const char* name) {
          EXPECT_STREQ(name, "LOCALAPPDATA");
          return c.localAppData;
        },
        [&](const std::string& folder) {
          created = folder;
          return c.canCreate;
        },
    });
    EXPECT_EQ(path.ExecutablePath(), c.expected);
    EXPECT_EQ(path.ExecutablePath(), c.expected);
    EXPECT_EQ(lookups, 1);  // resolved once
  }
}

TEST(Win32ProgramPathTest, TheRealModuleFileNameIsThisTestProgram) {
  const std::string path = RunningProgramPath();
  ASSERT_GE(path.size(), 3u);
  EXPECT_EQ(path[1], ':');
  EXPECT_NE(path.find("vantel3_unit_tests.exe"), std::string::npos) << path;
  // Its folder takes files in the build tree, so the marker stays beside the program.
  EXPECT_EQ(UserWritableProgramPath().ExecutablePath(), path);
}

}  // namespace
}  // namespace vantel3
