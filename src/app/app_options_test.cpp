#include "app/app_options.h"

#include <gtest/gtest.h>

namespace vantel3 {
namespace {

TEST(AppOptionsTest, AcceptedCommandLines) {
  AppOptions o = ParseAppOptions({});
  EXPECT_EQ(o.command, AppCommand::kRun);
  EXPECT_FALSE(o.simulate);
  EXPECT_TRUE(o.verifyCopies);

  // The check of the copies can be turned off for a real run as for a simulated one.
  o = ParseAppOptions({"--no-verify"});
  EXPECT_EQ(o.command, AppCommand::kRun);
  EXPECT_FALSE(o.verifyCopies);
  EXPECT_EQ(ParseAppOptions({"--no-verify=1"}).command, AppCommand::kError);

  o = ParseAppOptions({"--simulate", "happy-ru3r", "--speed", "20", "--keep", "/tmp/ws"});
  EXPECT_EQ(o.command, AppCommand::kRun);
  EXPECT_TRUE(o.simulate);
  EXPECT_EQ(o.scenario, "happy-ru3r");
  EXPECT_DOUBLE_EQ(o.speed, 20.0);
  EXPECT_EQ(o.keepDir, "/tmp/ws");
  EXPECT_FALSE(o.virtualClock);

  o = ParseAppOptions({"--simulate=a.json", "--virtual-clock"});
  EXPECT_EQ(o.command, AppCommand::kRun);
  EXPECT_EQ(o.scenario, "a.json");
  EXPECT_TRUE(o.virtualClock);

  // Toolkit options pass through, with their values.
  o = ParseAppOptions({"-platform", "offscreen", "-reverse", "--simulate", "x"});
  EXPECT_EQ(o.command, AppCommand::kRun);
  EXPECT_EQ(o.scenario, "x");

  EXPECT_EQ(ParseAppOptions({"--help"}).command, AppCommand::kHelp);
  EXPECT_EQ(ParseAppOptions({"--version"}).command, AppCommand::kVersion);
  EXPECT_EQ(ParseAppOptions({"--simulate", "x", "--help"}).command, AppCommand::kHelp);
}

TEST(AppOptionsTest, RejectedCommandLinesGiveOneLine) {
  const std::vector<std::vector<std::string>> cases = {
      {"--frobnicate"},
      {"stray"},
      {"--simulate"},
      {"--simulate="},
      {"--simulate", "x", "--speed"},
      {"--simulate", "x", "--speed", "0"},
      {"--simulate", "x", "--speed", "-3"},
      {"--simulate", "x", "--speed", "fast"},
      {"--simulate", "x", "--speed", "nan"},
      {"--simulate", "x", "--keep"},
      {"--speed", "2"},
      {"--virtual-clock"},
      {"--keep", "/tmp/x"},
      {"--simulate", "x", "--speed", "2", "--virtual-clock"},
      {"--help=yes"},
      {"--virtual-clock=1", "--simulate", "x"},
  };
  for (const auto& args : cases) {
    const AppOptions o = ParseAppOptions(args);
    EXPECT_EQ(o.command, AppCommand::kError) << args[0];
    EXPECT_FALSE(o.error.empty());
    EXPECT_EQ(o.error.find('\n'), std::string::npos);
    EXPECT_EQ(o.error.rfind("vantel3-updater: ", 0), 0u) << o.error;
  }
}

}  // namespace
}  // namespace vantel3
