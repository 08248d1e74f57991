// The log a session leaves: what a support engineer reads in it after a successful and after
// a failed run, and that a log which cannot be written changes nothing about the run.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "../../tests/support/recording_step_ui.h"
#include "platform/log_files.h"
#include "platform/platform_test_dir.h"
#include "session/run_session.h"

namespace vantel3 {
namespace {

struct LoggedRun {
  int exitStatus = -1;
  std::string logPath;
  std::vector<std::string> log;  // the events, without time stamps
  std::vector<std::string> screen;
  std::vector<std::string> deviceEvents;
};

// One session on the virtual clock: runs until the scripted user is done, logs the exit and
// reads the log back before the workspace goes.
LoggedRun RunLogged(PlatformTestDir& dir, const std::string& scenarioJson,
                    const std::string& logFolder = "") {
  WriteTestFile(dir / "scenario.json", scenarioJson);
  SessionOptions options;
  options.scenarioPath = (dir / "scenario.json").string();
  options.virtualClock = true;
  options.program = "vantel3-updater-text 1.0.0";
  options.logFolder = logFolder;
  std::unique_ptr<SystemServices> system = MakeSystemServices();
  int status = 0;
  std::string error;
  auto session = RunSession::Create(options, *system, error, status);
  LoggedRun run;
  if (session == nullptr) {
    ADD_FAILURE() << error;
    return run;
  }
  UpdateContext context;
  std::string warning;
  EXPECT_EQ(session->BindLibrary(context.dfuApi, warning), 1);
  testing::RecordingStepUi ui(*session->virtualClock(), context);
  run.exitStatus = RunUntilDone(
      *session, context, ui, [&ui] { return ui.endAction; }, [](std::size_t) { return false; });
  session->LogExit(run.exitStatus);
  run.logPath = session->logPath();
  run.screen = ui.Lines();
  // Without the workspace's own (random) folder, so that two sessions compare.
  const std::string workspace = session->workspace()->root();
  for (std::string e : session->workspace()->device().Events()) {
    for (std::size_t at = e.find(workspace); at != std::string::npos;
         at = e.find(workspace, at + 2)) {
      e.replace(at, workspace.size(), "WS");
    }
    run.deviceEvents.push_back(e);
  }
  std::string text;
  if (!run.logPath.empty() && ReadLogFile(run.logPath, 1 << 24, text)) {
    const std::regex line(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z +\d+ (.*)$)");
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
      std::smatch m;
      if (!std::regex_match(l, m, line)) {
        ADD_FAILURE() << "not a log line: " << l;
        continue;
      }
      run.log.push_back(m[1]);
    }
  }
  return run;
}

// Each of `expected` is part of a later event than the one before.
void ExpectInOrder(const std::vector<std::string>& log, const std::vector<std::string>& expected) {
  std::size_t at = 0;
  for (const std::string& part : expected) {
    while (at < log.size() && log[at].find(part) == std::string::npos) ++at;
    if (at == log.size()) {
      std::string all;
      for (const std::string& l : log) all += l + "\n";
      ADD_FAILURE() << "no event with \"" << part << "\" in order; the log:\n" << all;
      return;
    }
    ++at;
  }
}

int CountEvents(const std::vector<std::string>& log, const std::string& part) {
  int n = 0;
  for (const std::string& l : log) n += l.find(part) != std::string::npos;
  return n;
}

TEST(SessionLogTest, ASuccessfulRunTellsEachStepWaitCopyMarkerAndLibraryCallToTheEnd) {
  PlatformTestDir dir;
  const LoggedRun run = RunLogged(dir, "{}");
  EXPECT_EQ(run.exitStatus, kExitSuccess);
  // A simulation logs into its own workspace.
  EXPECT_NE(run.logPath.find("/log/"), std::string::npos);
  ExpectInOrder(run.log, {
                             "program vantel3-updater-text 1.0.0",
                             "system ",
                             "session: simulated device, scenario ",
                             "library ",
                             "run 1 started",
                             "view main",
                             "step started: ConnectDevice",
                             "package ",
                             "wait started: firmware-upgrade device (limit 1500 ms, poll 1000 ms)",
                             "library hidDfuConnect(0x0A12, 0xFFFE, 1, 0xFF00) = ",
                             "wait ended: firmware-upgrade device: time limit reached after",
                             "Next button shown",
                             "wait ended: Next: condition met",
                             "volume list changed: ",
                             "removable \"VANTEL3\": device drive",
                             "device version file ",
                             ": model ",
                             "step ended: ConnectDevice = 0",
                             "step started: RunMainUpdate",
                             "RU3R.bin: ",
                             " bytes in ",
                             "flush the file system of ",
                             "files_cp_ok_pc written: ok",
                             "wait ended: SD0 closed: condition met",
                             "wait ended: SD1 opened: condition met",
                             "rename ",
                             "library hidDfuUpgrade(",
                             "library hidDfuGetProgress() = ",
                             "library hidDfuGetResult() = 0",
                             "step ended: RunMainUpdate = 0",
                             "end button: \"Exit\" (Exit)",
                             "run 1 ended: success end",
                             "exit status 0",
                         });
  EXPECT_EQ(CountEvents(run.log, "message box"), 0);
  // Progress only when it changes: never the same value twice in a row.
  std::string last;
  for (const std::string& e : run.log) {
    if (e.rfind("library hidDfuGetProgress", 0) != 0) continue;
    EXPECT_NE(e, last);
    last = e;
  }
}

TEST(SessionLogTest, AFailedRunNamesTheFailingCopyTheMessageAndTheStepThatEnded) {
  PlatformTestDir dir;
  const LoggedRun run = RunLogged(dir, R"({"faults": {"fileFaults": [
      {"op": "copy_file", "path": "*Daisy*", "times": null, "error": "io_error"}]},
      "user": {"endAnswers": []}})");
  EXPECT_EQ(run.exitStatus, kExitFailureEnd);
  ExpectInOrder(run.log, {
                             "step started: RunMainUpdate",
                             "files_cp_ok_pc written: ok",
                             "Daisy_temp/book1/audio/01.mp3: FAILED: Input/output error",
                             "message box: DAISY transfer failed.",
                             "message box closed",
                             "step ended: RunMainUpdate = -1",
                             "end button: \"Retry\" (Retry)",
                             "run 1 ended: failure end",
                             "exit status 1",
                         });
  // No marker after the failure: SD1 never got its "files_cp_ok_pc".
  EXPECT_EQ(CountEvents(run.log, "files_cp_ok_pc written"), 1);
}

TEST(SessionLogTest, ALogFolderThatCannotBeMadeChangesNothingAboutTheRun) {
  for (const char* scenario : {"{}", R"({"timing": {"sd1OpenDelayMs": null}})"}) {
    SCOPED_TRACE(scenario);
    PlatformTestDir logged;
    PlatformTestDir unlogged;
    WriteTestFile(unlogged / "file", "x");  // no folder beneath a file, even for root
    const LoggedRun a = RunLogged(logged, scenario);
    const LoggedRun b = RunLogged(unlogged, scenario, (unlogged / "file" / "log").string());
    EXPECT_FALSE(a.log.empty());
    EXPECT_EQ(b.logPath, "");
    EXPECT_EQ(b.exitStatus, a.exitStatus);
    EXPECT_EQ(b.screen, a.screen);
    EXPECT_EQ(b.deviceEvents, a.deviceEvents);
  }
}

}  // namespace
}  // namespace vantel3
