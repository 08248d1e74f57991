#include "sim/scenario.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/native_file_system.h"

namespace vantel3 {
namespace {

using ::testing::HasSubstr;

TEST(ScenarioTest, EveryShippedScenarioParses) {
  const std::filesystem::path dir = std::filesystem::path(VANTEL3_SOURCE_DIR) / "scenarios";
  NativeFileSystem fs;
  std::vector<DirEntry> entries;
  ASSERT_FALSE(fs.ListDirectory(dir, entries));
  int parsed = 0;
  for (const DirEntry& entry : entries) {
    if (entry.type != EntryType::kFile) continue;
    SCOPED_TRACE(entry.name);
    ASSERT_TRUE(entry.name.ends_with(".json")) << "only scenarios belong in scenarios/";
    Scenario scenario;
    std::string error;
    EXPECT_EQ(LoadScenarioFile(fs, dir / entry.name, scenario, error), 1) << error;
    EXPECT_FALSE(scenario.description.empty());
    ++parsed;
  }
  EXPECT_GT(parsed, 0);
}

TEST(ScenarioTest, EmptyDocumentKeepsTheDefaults) {
  Scenario s;
  std::string error;
  ASSERT_EQ(ParseScenario("{}", s, error), 1) << error;
  EXPECT_EQ(s.device.versionFile, "ru3r_ver2");
  EXPECT_EQ(s.device.sd0AppearsAtMs, 0u);
  EXPECT_EQ(s.timing.sd0CloseDelayMs, 2000u);
  EXPECT_EQ(s.user.nextAfterMs, 1000u);
  EXPECT_EQ(s.user.AnswerForRun(0), EndAnswer::kExit);
  EXPECT_TRUE(s.faults.fileFaults.empty());
}

TEST(ScenarioTest, EveryKnobIsRead) {
  const char* json = R"({
    "description": "all knobs",
    "device": {"versionFile": "none", "fw": "1", "bt": "b", "df": "uart", "versionText": "x",
               "label": "VO3", "sd1Label": "SYS", "removable": false,
               "startMode": "firmware_upgrade", "sd0AppearsAtMs": null, "sameRoot": true,
               "sd0Files": {"Music/a b.mp3": "a"}, "sd1Files": {"locale/x": ""},
               "extraVolumes": [{"name": "disk", "label": null, "removable": true}]},
    "timing": {"restartDelayMs": null, "rebootDelayMs": 1, "sd0CloseDelayMs": 2,
               "sd1OpenDelayMs": 3, "sd1WritableDelayMs": 4294967295, "sd1CloseDelayMs": 5,
               "dfuAppearsDelayMs": 6, "selfUpdateMs": 7, "dfuRebootDelayMs": 8,
               "dfuProgressPerSecond": 100},
    "faults": {"staysFirstGeneration": true, "sd1ReadOnlyError": "permission_denied",
               "dfuStartFails": true, "dfuResultFails": true, "dfuDisconnectFails": true,
               "dfuProgressStuckAt": 99, "dfuProgressStyle": "jumps", "sd0AfterRestore": false,
               "vanishMidCopy": {"drive": "sd0", "afterCopies": 4, "returnsAfterMs": 9},
               "fileFaults": [{"op": "copy_file", "path": "*Daisy*", "times": null,
                               "error": "io_error"}, {}]},
    "package": {"targetVersion": "9", "btVersion": "8", "firmwareDfuBtVersion": "7",
                "omit": ["Daisy", "libhiddfu.so"]},
    "program": {"faBinPresent": true},
    "user": {"nextAfterMs": null, "endAnswers": ["retry", "retry", "exit"]}
  })";
  Scenario s;
  std::string error;
  ASSERT_EQ(ParseScenario(json, s, error), 1) << error;
  EXPECT_EQ(s.device.versionFile, "");
  EXPECT_EQ(s.device.df, "uart");
  EXPECT_EQ(s.device.versionText, "x");
  EXPECT_EQ(s.device.sd1Label, "SYS");
  EXPECT_FALSE(s.device.removable);
  EXPECT_EQ(s.device.startMode, StartMode::kFirmwareUpgrade);
  EXPECT_EQ(s.device.sd0AppearsAtMs, std::nullopt);
  EXPECT_TRUE(s.device.sameRoot);
  EXPECT_EQ(s.device.sd0Files.at("Music/a b.mp3"), "a");
  ASSERT_EQ(s.device.extraVolumes.size(), 1u);
  EXPECT_EQ(s.device.extraVolumes[0].label, std::nullopt);
  EXPECT_EQ(s.timing.restartDelayMs, std::nullopt);
  EXPECT_EQ(s.timing.sd1WritableDelayMs, 4294967295u);
  EXPECT_EQ(s.timing.dfuRebootDelayMs, 8u);
  EXPECT_EQ(s.faults.sd1ReadOnlyError, std::errc::permission_denied);
  EXPECT_EQ(s.faults.dfuProgressStuckAt, 99u);
  EXPECT_EQ(s.faults.dfuProgressStyle, ProgressStyle::kJumps);
  EXPECT_FALSE(s.faults.sd0AfterRestore);
  ASSERT_TRUE(s.faults.vanishMidCopy);
  EXPECT_EQ(s.faults.vanishMidCopy->drive, SimDrive::kSd0);
  EXPECT_EQ(s.faults.vanishMidCopy->returnsAfterMs, 9u);
  ASSERT_EQ(s.faults.fileFaults.size(), 2u);
  EXPECT_EQ(s.faults.fileFaults[0].op, FsOp::kCopyFile);
  EXPECT_EQ(s.faults.fileFaults[0].times, std::nullopt);
  EXPECT_EQ(s.faults.fileFaults[0].error, std::errc::io_error);
  EXPECT_EQ(s.faults.fileFaults[1].pathPattern, "*");
  EXPECT_EQ(s.faults.fileFaults[1].times, 1u);
  EXPECT_EQ(s.package.firmwareDfuBtVersion, "7");
  EXPECT_EQ(s.package.omit, (std::set<std::string>{"Daisy", "libhiddfu.so"}));
  EXPECT_TRUE(s.program.faBinPresent);
  EXPECT_EQ(s.user.nextAfterMs, std::nullopt);
  EXPECT_EQ(s.user.AnswerForRun(1), EndAnswer::kRetry);
  EXPECT_EQ(s.user.AnswerForRun(2), EndAnswer::kExit);
  EXPECT_EQ(s.user.AnswerForRun(7), EndAnswer::kExit);
}

TEST(ScenarioTest, MistakesAreReportedWithTheirPlace) {
  struct Case {
    const char* json;
    const char* expected;  // part of the error text
  };
  const Case cases[] = {
      {R"({"devise": {}})", "scenario: unknown key \"devise\""},
      {R"({"timing": {"sd0CloseDelay": 5}})", "timing: unknown key \"sd0CloseDelay\""},
      {R"({"faults": {"fileFaults": [{"op": "rename", "paht": "*"}]}})",
       "faults.fileFaults[0]: unknown key \"paht\""},
      {R"({"timing": {"sd1OpenDelayMs": "3000"}})",
       "timing.sd1OpenDelayMs: must be a whole number"},
      {R"({"timing": {"sd1OpenDelayMs": 1.5}})", "timing.sd1OpenDelayMs: must be a whole number"},
      {R"({"timing": {"sd1OpenDelayMs": -1}})", "timing.sd1OpenDelayMs: must be between"},
      {R"({"timing": {"rebootDelayMs": null}})", "timing.rebootDelayMs: must be a whole number"},
      {R"({"timing": {"dfuProgressPerSecond": 0}})", "timing.dfuProgressPerSecond"},
      {R"({"device": {"removable": "yes"}})", "device.removable: must be true or false"},
      {R"({"device": {"versionFile": "vo3_ver3"}})", "\"vo3_ver3\" is not one of"},
      {R"({"device": {"label": "a/b"}})", "label must be a plain folder name"},
      {R"({"device": {"sd0Files": {"../escape": "x"}}})", "not a relative path"},
      {R"({"device": {"sd0Files": {"/abs": "x"}}})", "not a relative path"},
      {R"({"device": {"extraVolumes": [{"name": ".."}]}})", "must be a plain folder name"},
      {R"({"faults": {"dfuProgressStuckAt": 100}})", "faults.dfuProgressStuckAt"},
      {R"({"faults": {"sd1ReadOnlyError": "oops"}})", "\"oops\" is not one of"},
      {R"({"faults": {"vanishMidCopy": {"afterCopies": 0}}})", "must be at least 1"},
      {R"({"faults": {"fileFaults": [{"times": 0}]}})", "must be at least 1, or null"},
      {R"({"package": {"omit": ["daisy"]}})", "\"daisy\" is not a package entry"},
      {R"({"package": {"btVersion": "1\n2"}})", "line break"},
      {R"({"user": {"endAnswers": ["again"]}})", "\"again\" is not one of"},
      {R"({"user": "none"})", "user: must be an object"},
      {R"([])", "scenario: must be an object"},
      {R"({"device": {)", "not a valid scenario document"},
      {"", "not a valid scenario document"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    Scenario s;
    std::string error;
    EXPECT_EQ(ParseScenario(c.json, s, error), 0);
    EXPECT_THAT(error, HasSubstr(c.expected));
  }
}

TEST(ScenarioTest, MissingFileNamesItsPath) {
  NativeFileSystem fs;
  Scenario s;
  std::string error;
  EXPECT_EQ(LoadScenarioFile(fs, "/nonexistent/x.json", s, error), 0);
  EXPECT_THAT(error, HasSubstr("/nonexistent/x.json"));
}

}  // namespace
}  // namespace vantel3
