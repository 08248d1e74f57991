#include "sim/sim_kill_switch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/posix_file_system.h"

namespace vantel3 {
namespace {

TEST(SimKillSwitchTest, KillPointsAreACallNumberWithAnOptionalPlus) {
  struct Case {
    const char* text;
    int ok;
    uint64_t call;
    bool inside;
  };
  for (const Case& c : {Case{"1", 1, 1, false}, Case{"250+", 1, 250, true}, Case{"0", 0, 0, false},
                        Case{"", 0, 0, false}, Case{"+", 0, 0, false}, Case{"12x", 0, 0, false},
                        Case{"-3", 0, 0, false}, Case{"3++", 0, 0, false}}) {
    SCOPED_TRACE(c.text);
    SimKillSwitchConfig config;
    EXPECT_EQ(ParseSimKillAt(c.text, config), c.ok);
    EXPECT_EQ(config.killAtCall, c.call);
    EXPECT_EQ(config.inside, c.inside);
  }
}

// Without a kill point the layer only numbers and traces the calls it passes on.
TEST(SimKillSwitchTest, NumbersAndTracesEveryCall) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("simkill-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  PosixFileSystem posix;
  {
    SimKillSwitchConfig config;
    config.tracePath = (dir / "trace").string();
    SimKillSwitch kill(posix, config);
    EXPECT_FALSE(kill.WriteFile(dir / "a", "abc"));
    EXPECT_FALSE(kill.CopyFile(dir / "a", dir / "b"));
    EXPECT_TRUE(kill.Exists(dir / "b"));
    EXPECT_EQ(kill.CallCount(), 3u);
  }
  std::ifstream in(dir / "trace");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "1 WriteFile " + (dir / "a").string() + "\n2 CopyFile " + (dir / "a").string() +
                      " -> " + (dir / "b").string() + "\n3 Exists " + (dir / "b").string() + "\n");
  fs::remove_all(dir);
}

// Dying is checked from a child process: the process ends by SIGKILL, and a copy that dies
// inside leaves half of the bytes.
TEST(SimKillSwitchDeathTest, DiesBeforeOrInsideTheChosenCall) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("simkill-death-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  PosixFileSystem posix;
  ASSERT_FALSE(posix.WriteFile(dir / "src", std::string(1000, 'x')));
  auto run = [&](uint64_t call, bool inside) {
    SimKillSwitchConfig config;
    config.killAtCall = call;
    config.inside = inside;
    SimKillSwitch kill(posix, config);
    (void)kill.CreateDirectory(dir / "d");
    (void)kill.CopyFile(dir / "src", dir / "d" / "copy");
    std::_Exit(0);
  };
  EXPECT_EXIT(run(2, true), ::testing::KilledBySignal(SIGKILL), "");
  std::string copied;
  ASSERT_FALSE(posix.ReadFile(dir / "d" / "copy", 4096, copied));
  EXPECT_EQ(copied.size(), 500u);
  fs::remove_all(dir / "d");
  EXPECT_EXIT(run(1, false), ::testing::KilledBySignal(SIGKILL), "");
  EXPECT_FALSE(fs::exists(dir / "d")) << "killed before the folder was made";
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vantel3
