// Whole update runs through the text front end on the simulated device and the virtual
// clock: the transcript (views, texts, progress in full, messages, end button), the exit
// status and what the drives and the program folder hold afterwards.
#include <gtest/gtest.h>

#include "../support/test_files.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "text/text_front_end.h"

namespace vantel3 {
namespace {

namespace fs = std::filesystem;

using testing::ReadText;

struct RunOutcome {
  int status = -100;
  std::string out;
  std::string err;
  fs::path ws;
  std::vector<std::string> lines;

  std::vector<int> Progress() const {
    std::vector<int> values;
    for (const auto& l : lines) {
      if (l.rfind("[progress] ", 0) == 0) values.push_back(std::stoi(l.substr(11)));
    }
    return values;
  }
  std::vector<std::string> Tagged(const std::string& tag) const {
    std::vector<std::string> found;
    for (const auto& l : lines) {
      if (l.rfind(tag + " ", 0) == 0) found.push_back(l.substr(tag.size() + 1));
    }
    return found;
  }
  // Messages, rejoined where a "\n" in them broke the transcript line.
  std::vector<std::string> Errors() const { return Joined("[error]"); }
  std::vector<std::string> Texts() const { return Joined("[text]"); }
  std::vector<std::string> Joined(const std::string& tag) const {
    std::vector<std::string> found;
    bool inside = false;
    for (const auto& l : lines) {
      if (l.rfind(tag + " ", 0) == 0) {
        found.push_back(l.substr(tag.size() + 1));
        inside = true;
      } else if (!l.empty() && l[0] == '[') {
        inside = false;
      } else if (inside) {
        found.back() += "\n" + l;
      }
    }
    return found;
  }
  std::string LastText() const {
    const auto texts = Texts();
    return texts.empty() ? std::string() : texts.back();
  }
  std::string LastView() const {
    const auto views = Tagged("[view]");
    return views.empty() ? std::string() : views.back();
  }
  // The folder of a drive, mounted or not.
  fs::path Drive(const std::string& which) const {
    const bool sd0 = which == "sd0";
    for (const fs::path& p :
         {ws / "media" / (sd0 ? "VANTEL3" : "VANTEL31"), ws / "device" / which}) {
      if (fs::exists(p)) return p;
    }
    return ws / "device" / which;
  }
};

class UpdateRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() /
            ("vantel3-e2e-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(base_);
    fs::create_directories(base_);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(base_);
  }

  RunOutcome RunScenario(const std::string& json, const std::string& name = "run") {
    RunOutcome run;
    const fs::path scenario = base_ / (name + ".json");
    std::ofstream(scenario) << json;
    run.ws = base_ / name;
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    run.status = RunTextFrontEnd(
        {"--simulate", scenario.string(), "--virtual-clock", "--keep", run.ws.string()}, in, out,
        err);
    run.out = out.str();
    run.err = err.str();
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) run.lines.push_back(line);
    return run;
  }

  fs::path base_;
};

std::vector<int> FirstPhases() {
  return {10, 20, 30, 40, 43, 46, 50, 60};
}

std::vector<int> WithTicks(int ticks) {
  std::vector<int> values = FirstPhases();
  for (int k = 1; k <= ticks; ++k) values.push_back(std::min(100, 60 + 40 * k / ticks));
  return values;
}

const std::string kDefaultBt = "030108-002-251124-114355";
const char* kSuccessText =
    "Please keep the cable connected until you hear the voice prompt indicating the update is "
    "complete on the Vantel.";
const char* kFailureText = "VANTEL 3.5.2 version update failed, please try again.";

TEST_F(UpdateRunTest, SecondGenerationDeviceWithTheSameBluetoothGetsTheTimedWaitOfItsModel) {
  struct Case {
    const char* model;
    const char* versionFile;
    int ticks;
  };
  for (const Case& c : {Case{"VO3", "vo3_ver2", 188}, Case{"RU3R", "ru3r_ver2", 108}}) {
    SCOPED_TRACE(c.model);
    const RunOutcome run =
        RunScenario(R"({"device": {"versionFile": ")" + std::string(c.versionFile) +
                        R"(", "bt": "vt-bt-)" + kDefaultBt + R"("}})",
                    c.model);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.Progress(), WithTicks(c.ticks));
    EXPECT_EQ(run.Tagged("[view]"), (std::vector<std::string>{"main", "update", "end"}));
    EXPECT_EQ(run.Tagged("[end]"), std::vector<std::string>{"Exit"});
    EXPECT_EQ(run.LastText(), kSuccessText);
    EXPECT_TRUE(run.Errors().empty());
    const fs::path sd0 = run.Drive("sd0");
    const fs::path sd1 = run.Drive("sd1");
    // The device consumes the markers it acted on; what the updater installed stays.
    for (const char* f : {"RU3R.bin", "VO3Sboot.bin", "Music"}) {
      EXPECT_TRUE(fs::exists(sd0 / f)) << f;
    }
    EXPECT_FALSE(fs::exists(sd0 / "firmware.dfu"));
    EXPECT_FALSE(fs::exists(sd0 / "Music_temp"));
    for (const char* f : {"locale", "brl", "Daisy"}) {
      EXPECT_TRUE(fs::exists(sd1 / f)) << f;
    }
    for (const char* f : {"locale_temp", "brl_temp", "Daisy_temp", "__vantel_write_probe__"}) {
      EXPECT_FALSE(fs::exists(sd1 / f)) << f;
    }
  }
}

TEST_F(UpdateRunTest, DifferentBluetoothOverUsbIsFlashedByTheUpdaterAfterTheSystemDrive) {
  const RunOutcome run = RunScenario(R"({"device": {"versionFile": "ru3r_ver2", "df": "usb"}})");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  std::vector<int> expected = FirstPhases();
  for (int p : {0, 25, 50, 75, 100}) expected.push_back(60 + 40 * p / 100);
  EXPECT_EQ(run.Progress(), expected);
  EXPECT_FALSE(fs::exists(run.Drive("sd0") / "firmware.dfu"));
  EXPECT_FALSE(fs::exists(run.Drive("sd0") / "firmware.no"));
  EXPECT_FALSE(fs::exists(run.ws / "program" / "fa.bin"));
}

TEST_F(UpdateRunTest, UartDeviceGetsTheBluetoothImageAndTheLongWait) {
  const RunOutcome run = RunScenario(R"({"device": {"versionFile": "vo3_ver2", "df": "UART"}})");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.Progress(), WithTicks(560));
  EXPECT_TRUE(fs::exists(run.Drive("sd0") / "firmware.dfu"));
  EXPECT_FALSE(fs::exists(run.Drive("sd0") / "firmware.no"));
}

TEST_F(UpdateRunTest, FirstGenerationDeviceTakesTheFirstStageAndComesBackAsSecond) {
  const RunOutcome run =
      RunScenario(R"({"device": {"versionFile": "vo3_ver", "bt": "vt-bt-)" + kDefaultBt + R"("}})");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.Progress(), WithTicks(188));
  EXPECT_TRUE(fs::exists(run.Drive("sd0") / "vo3_ver2"));
  EXPECT_TRUE(fs::exists(run.Drive("sd0") / "RU3R.bin"));
}

TEST_F(UpdateRunTest, DeviceInFirmwareUpgradeModeIsRestoredThenUpdatedFromTheStart) {
  const RunOutcome run = RunScenario(R"({"device": {"startMode": "firmware_upgrade"}})");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const auto views = run.Tagged("[view]");
  ASSERT_GE(views.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(views.begin(), views.begin() + 3),
            (std::vector<std::string>{"main", "restore", "main"}));
  EXPECT_EQ(std::count(run.lines.begin(), run.lines.end(), "[next]"),
            1);  // Next is asked for after the restore
  const auto progress = run.Progress();
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(std::vector<int>(progress.begin(), progress.begin() + 5),
            (std::vector<int>{0, 0, 25, 50, 75}));
}

TEST_F(UpdateRunTest, MarkerFromAnEarlierFailureSwitchesTheDeviceToUartAndIsConsumed) {
  const RunOutcome run = RunScenario(R"({"device": {"versionFile": "ru3r_ver2", "df": "usb"},
                                  "program": {"faBinPresent": true}})");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.Progress(), WithTicks(560));
  EXPECT_FALSE(fs::exists(run.ws / "program" / "fa.bin"));
  EXPECT_NE(ReadText(run.Drive("sd0") / "ru3r_ver2").find("\"df\":\"uart\""), std::string::npos);
}

TEST_F(UpdateRunTest, FailedUpgradeLeavesTheMarkerAndRetryHandsBluetoothToTheDevice) {
  const RunOutcome run = RunScenario(R"({"device": {"versionFile": "ru3r_ver2", "df": "usb"},
                                  "timing": {"dfuAppearsDelayMs": null},
                                  "user": {"endAnswers": ["retry"]}})");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.Errors(), std::vector<std::string>{"No response from VANTEL."});
  // The second run hands the Bluetooth update to the device: image copied, the long wait.
  const auto progress = run.Progress();
  ASSERT_GE(progress.size(), 560u);
  const std::vector<int> ticks = WithTicks(560);
  EXPECT_EQ(std::vector<int>(progress.end() - 568, progress.end()),
            std::vector<int>(ticks.end() - 568, ticks.end()));
  EXPECT_EQ(run.Tagged("[end]"), (std::vector<std::string>{"Retry", "Exit"}));
  EXPECT_FALSE(fs::exists(run.ws / "program" / "fa.bin"));
  EXPECT_TRUE(fs::exists(run.Drive("sd0") / "firmware.dfu"));
}

TEST_F(UpdateRunTest, MusicFolderThatHoldsFilesIsKept) {
  const RunOutcome run =
      RunScenario(R"({"device": {"versionFile": "ru3r_ver2", "bt": "vt-bt-)" + kDefaultBt +
                  R"(", "sd0Files": {"Music/mine.mp3": "my song"}}})");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(ReadText(run.Drive("sd0") / "Music" / "mine.mp3"), "my song");
  EXPECT_EQ(std::distance(fs::directory_iterator(run.Drive("sd0") / "Music"), {}), 1);
  EXPECT_EQ(run.Progress(), WithTicks(108));
}

TEST_F(UpdateRunTest, EveryFailureShowsItsMessageAndEndsWithRetry) {
  struct Case {
    const char* name;
    const char* scenario;
    const char* message;
  };
  const Case cases[] = {
      {"never clicked", R"({"user": {"nextAfterMs": null}})", "The Next button was not pressed."},
      {"drive never appears", R"({"device": {"sd0AppearsAtMs": null}})",
       "The update failed. Click “Retry” to \nstart over from the beginning."},
      {"no firmware", R"({"package": {"omit": ["RU3R.bin"]}})", "There is no FW."},
      {"no boot loader", R"({"package": {"omit": ["VO3Sboot.bin"]}})", "There is no BL."},
      {"no locale", R"({"package": {"omit": ["locale"]}})", "LOCALE is missing."},
      {"no brl", R"({"package": {"omit": ["brl"]}})", "There is no BRL."},
      {"no Daisy", R"({"package": {"omit": ["Daisy"]}})", "DAISY is missing."},
      {"no version file", R"({"device": {"versionFile": "none"}})",
       "The Vantel version file cannot be found.\n Please try again.\n If the problem persists, "
       "try changing the cable, rebooting Vantel, and then retry."},
      {"first stage image refused",
       R"({"device": {"versionFile": "ru3r_ver"},
           "faults": {"fileFaults": [{"op": "copy_file", "path": "*/VO3Sboot.bin", "times": null,
                                      "error": "io_error"}]}})",
       "BL transfer failed."},
      {"update_go refused",
       R"({"device": {"versionFile": "vt_ver"},
           "faults": {"fileFaults": [{"op": "write_file", "path": "*/update_go", "times": null,
                                      "error": "io_error"}]}})",
       "The update went incorrectly. Please try again."},
      {"first generation never restarts",
       R"({"device": {"versionFile": "vo3_ver"}, "timing": {"restartDelayMs": null}})",
       "No response from VANTEL."},
      {"first generation never comes back",
       R"({"device": {"versionFile": "vo3_ver"}, "timing": {"rebootDelayMs": 300000}})",
       "Failed. Please try again."},
      {"stays first generation",
       R"({"device": {"versionFile": "ru3r_ver"}, "faults": {"staysFirstGeneration": true}})",
       "New version Failed. Please try again."},
      {"main firmware copy fails",
       R"({"faults": {"fileFaults": [{"op": "copy_file", "path": "*/RU3R.bin", "times": null,
                                      "error": "io_error"}]}})",
       "FW transfer failed."},
      {"music install refused",
       R"({"faults": {"fileFaults": [{"op": "rename", "path": "*/Music_temp", "times": null,
                                      "error": "permission_denied"}]}})",
       "MUSIC transfer failed."},
      {"bluetooth image copy fails",
       R"({"device": {"df": "uart"},
           "faults": {"fileFaults": [{"op": "copy_file", "path": "*/firmware.dfu",
                                      "times": null, "error": "io_error"}]}})",
       "BT Failed"},
      {"marker refused",
       R"({"faults": {"fileFaults": [{"op": "write_file", "path": "*/files_cp_ok_pc",
                                      "times": null, "error": "io_error"}]}})",
       "The update went incorrectly. Please try again."},
      {"SD0 never closes", R"({"timing": {"sd0CloseDelayMs": null}})",
       "SD0 has not closed.\nThe MCU may not have switched to update mode."},
      {"SD1 never opens", R"({"timing": {"sd1OpenDelayMs": null}})",
       "SD1 did not open.\nThe MCU may not have been able to open the system drive."},
      {"SD1 never writable", R"({"timing": {"sd1WritableDelayMs": null}})",
       "SD1가 열렸지만 아직 복사 가능한 상태가 아닙니다.\n잠시 후 다시 시도해 주세요."},
      {"SD1 writable too late", R"({"timing": {"sd1WritableDelayMs": 16000}})",
       "SD1가 열렸지만 아직 복사 가능한 상태가 아닙니다.\n잠시 후 다시 시도해 주세요."},
      {"SD1 vanishes mid-copy",
       R"({"faults": {"vanishMidCopy": {"drive": "sd1", "afterCopies": 1}}})",
       "LOCALE transfer failed."},
      {"brl install refused",
       R"({"faults": {"fileFaults": [{"op": "rename", "path": "*/brl_temp", "times": null,
                                      "error": "permission_denied"}]}})",
       "BRL transfer failed."},
      {"Daisy copy fails",
       R"({"faults": {"fileFaults": [{"op": "create_directory", "path": "*/Daisy_temp",
                                      "times": null, "error": "io_error"}]}})",
       "DAISY transfer failed."},
      {"no firmware-upgrade device", R"({"timing": {"dfuAppearsDelayMs": null}})",
       "No response from VANTEL."},
      {"upgrade start fails", R"({"faults": {"dfuStartFails": true}})",
       "The update went incorrectly. Please try again."},
      {"upgrade result fails", R"({"faults": {"dfuResultFails": true}})",
       "The update went incorrectly. Please try again."},
      {"upgrade disconnect fails", R"({"faults": {"dfuDisconnectFails": true}})",
       "The update went incorrectly. Please try again."},
      {"upgrade progress stuck", R"({"faults": {"dfuProgressStuckAt": 40}})",
       "The update went incorrectly. Please try again."},
      {"restore fails",
       R"({"device": {"startMode": "firmware_upgrade"}, "faults": {"dfuStartFails": true}})",
       "DFU restore failed"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunOutcome run = RunScenario(c.scenario, "case" + std::to_string(index++));
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_EQ(run.Errors(), std::vector<std::string>{c.message}) << run.out;
    EXPECT_EQ(run.Tagged("[end]"), std::vector<std::string>{"Retry"});
    EXPECT_EQ(run.LastText(), kFailureText);
    EXPECT_EQ(run.LastView(), "end");
    // Our own upgrade's failures leave the marker for the next run; no other failure does.
    const bool ownUpgrade = std::string(c.name).rfind("upgrade", 0) == 0 ||
                            std::string(c.name) == "no firmware-upgrade device";
    EXPECT_EQ(fs::exists(run.ws / "program" / "fa.bin"), ownUpgrade);
  }
}

TEST_F(UpdateRunTest, RetryAfterATransientFailureSucceeds) {
  const RunOutcome run = RunScenario(R"({"device": {"bt": "vt-bt-)" + kDefaultBt + R"("},
      "faults": {"fileFaults": [{"op": "rename", "path": "*/locale_temp", "times": 3,
                                 "error": "permission_denied"}]},
      "user": {"endAnswers": ["retry"]}})");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.Errors(), std::vector<std::string>{"LOCALE transfer failed."});
  EXPECT_EQ(run.Tagged("[end]"), (std::vector<std::string>{"Retry", "Exit"}));
  const auto views = run.Tagged("[view]");
  EXPECT_EQ(views, (std::vector<std::string>{"main", "update", "end", "main", "update", "end"}));
}

TEST_F(UpdateRunTest, PackageVersionNamesTheFailedVersion) {
  const RunOutcome run =
      RunScenario(R"({"package": {"targetVersion": "3.6.0", "omit": ["Daisy"]}})");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.LastText(), "VANTEL 3.6.0 version update failed, please try again.");
}

TEST_F(UpdateRunTest, MissingLibraryStopsBeforeAnyView) {
  const RunOutcome run = RunScenario(R"({"package": {"omit": ["libhiddfu.so"]}})");
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.lines, std::vector<std::string>{"[error] Could not load dfu libary."});
}

// Answers on a pipe, on the real clock sped up 1000 times, with a device whose drive never
// shows: lines given up front answer the questions in turn, and once the input has ended
// every later question is answered at once (Next not pressed, the message closed, Exit).
TEST_F(UpdateRunTest, AnswersGivenUpFrontAndTheEndOfInputAnswerEachQuestion) {
  const fs::path scenario = base_ / "no-drive.json";
  std::ofstream(scenario) << R"({"device": {"sd0AppearsAtMs": null}})";
  // The message's first line; its "\n" breaks it.
  const std::string noDrive = "[error] The update failed. Click “Retry” to ";
  const std::string notPressed = "[error] The Next button was not pressed.";
  struct Case {
    const char* input;
    std::vector<std::string> answers;  // the [next], [error] and [end] lines, in order
  };
  const Case cases[] = {
      {"\n\n\n", {"[next]", noDrive, "[end] Retry"}},
      {"\n", {"[next]", noDrive, "[end] Retry"}},
      {"", {"[next]", notPressed, "[end] Retry"}},
      {"\n\nretry\n", {"[next]", noDrive, "[end] Retry", "[next]", notPressed, "[end] Retry"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.input)));
    std::istringstream in(c.input);
    std::ostringstream out;
    std::ostringstream err;
    const int status =
        RunTextFrontEnd({"--simulate", scenario.string(), "--speed", "1000"}, in, out, err);
    EXPECT_EQ(status, 1);
    std::vector<std::string> answers;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
      if (line == "[next]" || line.rfind("[error]", 0) == 0 || line.rfind("[end]", 0) == 0) {
        answers.push_back(line);
      }
    }
    EXPECT_EQ(answers, c.answers);
  }
}

TEST_F(UpdateRunTest, UsageErrorsExitWithTwo) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunTextFrontEnd({"--frobnicate"}, in, out, err), 2);
  EXPECT_EQ(RunTextFrontEnd({"--virtual-clock"}, in, out, err), 2);
  EXPECT_EQ(RunTextFrontEnd({"--simulate"}, in, out, err), 2);
  const std::string errors = err.str();
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 3);
}

}  // namespace
}  // namespace vantel3
