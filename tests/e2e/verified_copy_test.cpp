// Whole updates on the simulated device with copies damaged on their way to a drive, without
// any error: for every copy row of the transfer tables the damage is found when the copy is
// read back, the row's message is shown, no marker follows the damaged copy and no damaged
// staged folder is put in place, the package stays as it was, and a Retry with the fault gone
// completes the update.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "../support/recording_step_ui.h"
#include "../support/test_files.h"
#include "dfu/dfu_binding.h"
#include "platform/library_loader.h"
#include "sim/scenario.h"
#include "sim/sim_workspace.h"
#include "text/text_front_end.h"
#include "workflow/update_worker.h"

namespace vantel3 {
namespace {

// A workspace with the stand-in library bound, and runs of the update in it as the session
// makes them (the device is restarted before a Retry).
class Session {
 public:
  explicit Session(const std::string& json) {
    Scenario scenario;
    std::string error;
    EXPECT_EQ(ParseScenario(json, scenario, error), 1) << error;
    ws_ = SimWorkspace::Create(scenario, clock_, std::string(), error);
    if (ws_ == nullptr) {
      ADD_FAILURE() << error;
      return;
    }
    if (BindDfuLibrary(loader_, ws_->libraryPath(), context_.dfuApi) == 0 ||
        ws_->AttachToLibrary(loader_, context_.dfuApi.module) == 0) {
      ADD_FAILURE() << "the stand-in library cannot be bound";
      ws_.reset();
      return;
    }
    services_ = std::make_unique<UpdateServices>(clock_, ws_->fs(), ws_->volumes(),
                                                 ws_->programPath(), ws_->packageDir());
    services_->onCopyChecked = [this](const ReadBackRecord& r) { checked_.push_back(r); };
  }
  bool ok() const { return ws_ != nullptr; }

  int Run(bool retry = false) {
    if (retry) ws_->device().PowerCycle();
    ui_.Reset();
    return UpdateWorker(context_, *services_, ui_);
  }

  SimWorkspace& ws() { return *ws_; }
  UpdateServices& services() { return *services_; }
  testing::RecordingStepUi& ui() { return ui_; }
  const std::vector<ReadBackRecord>& checked() const { return checked_; }

 private:
  VirtualClock clock_;
  DlLibraryLoader loader_;
  std::unique_ptr<SimWorkspace> ws_;
  UpdateContext context_;
  std::unique_ptr<UpdateServices> services_;
  testing::RecordingStepUi ui_{clock_, context_};
  std::vector<ReadBackRecord> checked_;
};

const char* kHandOverMarkers[] = {"*/update_go", "*/files_cp_ok_pc"};

TEST(VerifiedCopyTest, DamageOnTheWayIsFoundForEveryCopyRowAndRetryCompletes) {
  struct Case {
    const char* row;
    const char* device;      // the "device" object of the scenario
    const char* damaged;     // the glob of the damaged copy's destination
    const char* message;     // the row's message
    const char* stagedGlob;  // the staged folder that must not be put in place, if any
  };
  const char* gen1 = R"({"versionFile": "vo3_ver", "bt": "vt-bt-030108-002-251124-114355"})";
  const char* gen2 = R"({"versionFile": "ru3r_ver2"})";
  const Case cases[] = {
      {"first stage FW", gen1, "*/RU3R.bin", "FW transfer failed.", nullptr},
      {"first stage BL", gen1, "*/VO3Sboot.bin", "BL transfer failed.", nullptr},
      {"FW", gen2, "*/RU3R.bin", "FW transfer failed.", nullptr},
      {"BL", gen2, "*/VO3Sboot.bin", "BL transfer failed.", nullptr},
      {"Music", gen2, "*/Music_temp/*", "MUSIC transfer failed.", "*/Music_temp"},
      {"Bluetooth image", R"({"versionFile": "vo3_ver2", "df": "uart"})", "*/firmware.dfu",
       "BT Failed", nullptr},
      {"locale", gen2, "*/locale_temp/*", "LOCALE transfer failed.", "*/locale_temp"},
      {"brl", gen2, "*/brl_temp/*", "BRL transfer failed.", "*/brl_temp"},
      {"Daisy", gen2, "*/Daisy_temp/*", "DAISY transfer failed.", "*/Daisy_temp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    Session session(std::string(R"({"device": )") + c.device +
                    R"(, "faults": {"corruptCopies": [{"path": ")" + c.damaged +
                    R"(", "offset": 100, "times": 1}]}})");
    ASSERT_TRUE(session.ok());
    const auto packageBefore = testing::SnapshotTree(session.ws().packageDir());

    EXPECT_EQ(session.Run(), -1);
    EXPECT_EQ(session.ui().Errors(), std::vector<std::string>{c.message});
    FaultInjectingFileSystem& log = session.ws().faultFs();
    const std::size_t damagedAt = log.FindCall(FsOp::kCopyFile, c.damaged);
    ASSERT_NE(damagedAt, FaultInjectingFileSystem::kNotFound);
    for (const char* marker : kHandOverMarkers) {
      EXPECT_EQ(log.FindCall(FsOp::kWriteFile, marker, damagedAt),
                FaultInjectingFileSystem::kNotFound)
          << marker << " written after the damaged copy";
    }
    if (c.stagedGlob != nullptr) {
      EXPECT_EQ(log.FindCall(FsOp::kRename, c.stagedGlob, damagedAt),
                FaultInjectingFileSystem::kNotFound)
          << "the damaged staged folder was put in place";
    }
    ASSERT_FALSE(session.checked().empty());
    EXPECT_EQ(session.checked().back().outcome, ReadBackOutcome::kDiffers);
    EXPECT_EQ(testing::SnapshotTree(session.ws().packageDir()), packageBefore);

    EXPECT_EQ(session.Run(true), 0) << ::testing::PrintToString(session.ui().Errors());
    EXPECT_TRUE(session.ui().Errors().empty());
    EXPECT_EQ(testing::SnapshotTree(session.ws().packageDir()), packageBefore);
  }
}

TEST(VerifiedCopyTest, EveryCopiedFileIsReadBackFromTheMediumAfterTheFlush) {
  Session session(R"({"device": {"versionFile": "ru3r_ver2"}})");
  ASSERT_TRUE(session.ok());
  ASSERT_EQ(session.Run(), 0);
  FaultInjectingFileSystem& log = session.ws().faultFs();
  const std::vector<FsCall> calls = log.Calls();
  std::size_t copies = 0;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const FsCall& copy = calls[i];
    if (copy.op != FsOp::kCopyFile || copy.result) continue;
    ++copies;
    // Its read from the medium comes after a sync of its drive, which comes after the copy.
    std::size_t read = FaultInjectingFileSystem::kNotFound;
    for (std::size_t j = i + 1; j < calls.size(); ++j) {
      if (calls[j].op == FsOp::kOpenForReading && calls[j].path == copy.to) {
        read = j;
        break;
      }
    }
    ASSERT_NE(read, FaultInjectingFileSystem::kNotFound) << copy.to << " never read back";
    const std::size_t sync = log.FindCall(FsOp::kSyncFileSystem, "*", i);
    EXPECT_LT(sync, read) << copy.to << " read back before the drive was flushed";
  }
  EXPECT_GT(copies, 10u);
  std::size_t same = 0;
  for (const ReadBackRecord& r : session.checked()) same += r.outcome == ReadBackOutcome::kSame;
  EXPECT_EQ(same, copies);
}

TEST(VerifiedCopyTest, WithChecksOffTheDamageGoesUnnoticedAndNothingIsReadBack) {
  Session session(R"({"faults": {"corruptCopies": [{"path": "*/RU3R.bin", "times": null}]}})");
  ASSERT_TRUE(session.ok());
  session.services().verifyCopies = false;
  EXPECT_EQ(session.Run(), 0);
  EXPECT_EQ(session.ws().faultFs().CountCalls(FsOp::kOpenForReading), 0u);
  ASSERT_FALSE(session.checked().empty());
  for (const ReadBackRecord& r : session.checked()) {
    EXPECT_EQ(r.outcome, ReadBackOutcome::kNotRead) << r.copy;
  }
}

TEST(VerifiedCopyTest, ReadErrorOfACopyIsThatCopysFailure) {
  Session session(R"({"faults": {"fileFaults": [{"op": "open_for_reading", "path": "*/brl_temp/*",
                                                 "times": 1, "error": "io_error"}]},
                      "user": {"endAnswers": ["retry"]}})");
  ASSERT_TRUE(session.ok());
  EXPECT_EQ(session.Run(), -1);
  EXPECT_EQ(session.ui().Errors(), std::vector<std::string>{"BRL transfer failed."});
  EXPECT_EQ(session.Run(true), 0);
}

// The option reaches the run through the session: a copy damaged every time fails every run,
// and goes through unnoticed with --no-verify.
TEST(VerifiedCopyTest, NoVerifyOptionOfTheTextFrontEndTurnsTheCheckOff) {
  const std::string scenario = std::string(VANTEL3_SOURCE_DIR) + "/scenarios/corrupt-always.json";
  for (const bool verify : {true, false}) {
    SCOPED_TRACE(verify ? "verified" : "--no-verify");
    std::vector<std::string> args = {"--simulate", scenario, "--virtual-clock"};
    if (!verify) args.push_back("--no-verify");
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunTextFrontEnd(args, in, out, err);
    EXPECT_EQ(status, verify ? 1 : 0) << out.str() << err.str();
    EXPECT_EQ(out.str().find("[error] FW transfer failed.") != std::string::npos, verify);
  }
}

}  // namespace
}  // namespace vantel3
