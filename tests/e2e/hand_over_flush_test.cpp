// Whole updates on the simulated device, checked through the file system's call log: before
// a marker hands a drive to the device ("update_go", "files_cp_ok_pc"), everything the
// updater wrote to that drive is on the medium, and the marker itself is flushed after it
// was written. Without this the device may read a half-written image or folder.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "../support/recording_step_ui.h"
#include "dfu/dfu_binding.h"
#include "platform/library_loader.h"
#include "sim/scenario.h"
#include "sim/sim_workspace.h"
#include "workflow/update_worker.h"

namespace vantel3 {
namespace {

std::string Normal(const Path& path) {
  std::string text = path.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool Under(const std::string& path, const std::string& root) {
  return path == root || path.rfind(root + "/", 0) == 0;
}

// The paths a successful call wrote (created, replaced, or brought in by a rename).
std::vector<std::string> Written(const FsCall& call) {
  if (call.result || call.injected) return {};
  switch (call.op) {
    case FsOp::kCreateDirectory:
    case FsOp::kWriteFile:
      return {Normal(call.path)};
    case FsOp::kCopyFile:
    case FsOp::kRename:
      return {Normal(call.to)};
    default:
      return {};
  }
}

struct HandOver {
  std::string marker;     // full path of the marker
  std::size_t createdAt;  // index of its WriteFile in the call log
  std::vector<std::string> problems;
};

// Checks every hand-over marker in `calls`: each file or folder written under the marker's
// drive root before it needs, after its last write and before the marker was created, a
// successful SyncFileSystem of that drive or a FlushFile of that very path; the marker
// needs a successful FlushFile after it was written and before anything else is written to
// the drive.
std::vector<HandOver> CheckHandOvers(const std::vector<FsCall>& calls,
                                     const std::set<std::string>& markerNames) {
  std::vector<HandOver> handOvers;
  for (std::size_t m = 0; m < calls.size(); ++m) {
    const FsCall& call = calls[m];
    if (call.op != FsOp::kWriteFile || call.result || call.injected) continue;
    const Path markerPath(Normal(call.path));
    if (markerNames.count(markerPath.filename().string()) == 0) continue;
    const std::string root = Normal(markerPath.parent_path());
    HandOver h{markerPath.string(), m, {}};

    // What stands on the drive when the marker is written, with the index of its last
    // write: a removal takes a path out, a rename carries what lay under its source along.
    std::map<std::string, std::size_t> lastWrite;
    for (std::size_t i = 0; i < m; ++i) {
      const FsCall& c = calls[i];
      if (c.result || c.injected) continue;
      if (c.op == FsOp::kRemoveFile || c.op == FsOp::kRemoveDirectory || c.op == FsOp::kRename) {
        const std::string from = Normal(c.path);
        std::map<std::string, std::size_t> moved;
        for (auto it = lastWrite.begin(); it != lastWrite.end();) {
          if (Under(it->first, from)) {
            if (c.op == FsOp::kRename)
              moved[Normal(c.to) + it->first.substr(from.size())] = it->second;
            it = lastWrite.erase(it);
          } else {
            ++it;
          }
        }
        for (const auto& [p, at] : moved) {
          if (Under(p, root)) lastWrite[p] = at;
        }
      }
      for (const std::string& p : Written(c)) {
        if (Under(p, root)) lastWrite[p] = i;
      }
    }
    for (const auto& [path, at] : lastWrite) {
      bool covered = false;
      for (std::size_t i = at + 1; i < m && !covered; ++i) {
        const FsCall& c = calls[i];
        if (c.result || c.injected) continue;
        covered = (c.op == FsOp::kSyncFileSystem && Under(Normal(c.path), root)) ||
                  (c.op == FsOp::kFlushFile && Normal(c.path) == path);
      }
      if (!covered) {
        h.problems.push_back(path + " (written at call " + std::to_string(at) +
                             ") is not on the medium when the marker is written");
      }
    }
    bool flushed = false;
    for (std::size_t i = m + 1; i < calls.size() && !flushed; ++i) {
      const FsCall& c = calls[i];
      if (c.op == FsOp::kFlushFile && !c.result && Normal(c.path) == h.marker) {
        flushed = true;
      } else if (!Written(c).empty() && Under(Written(c).front(), root)) {
        break;
      }
    }
    if (!flushed) h.problems.push_back("the marker is not flushed after it was written");
    handOvers.push_back(std::move(h));
  }
  return handOvers;
}

struct RunResult {
  int result = -100;
  std::vector<FsCall> calls;
  std::vector<std::string> errors;
  std::string sd0Root;
  std::string sd1Root;
};

RunResult RunOnce(const std::string& json) {
  RunResult run;
  Scenario scenario;
  std::string error;
  EXPECT_EQ(ParseScenario(json, scenario, error), 1) << error;
  VirtualClock clock;
  auto ws = SimWorkspace::Create(scenario, clock, std::string(), error);
  if (ws == nullptr) {
    ADD_FAILURE() << error;
    return run;
  }
  UpdateContext context;
  DlLibraryLoader loader;
  if (BindDfuLibrary(loader, ws->libraryPath(), context.dfuApi) == 0 ||
      ws->AttachToLibrary(loader, context.dfuApi.module) == 0) {
    ADD_FAILURE() << "the stand-in library cannot be bound";
    return run;
  }
  UpdateServices services{clock, ws->fs(), ws->volumes(), ws->programPath(), ws->packageDir()};
  testing::RecordingStepUi ui(clock, context);
  run.result = UpdateWorker(context, services, ui);
  run.calls = ws->faultFs().Calls();
  run.errors = ui.Errors();
  run.sd0Root = Normal(ws->device().MountRoot(SimDrive::kSd0));
  run.sd1Root = Normal(ws->device().MountRoot(SimDrive::kSd1));
  return run;
}

TEST(HandOverFlushTest, EverythingWrittenIsOnTheMediumBeforeTheDeviceIsToldToTakeIt) {
  struct Case {
    const char* name;
    const char* scenario;
    // Markers expected, by drive: "sd0:update_go", "sd1:files_cp_ok_pc", ...
    std::vector<std::string> handOvers;
  };
  const Case cases[] = {
      {"first generation, first stage then the main update",
       R"({"device": {"versionFile": "vo3_ver", "bt": "vt-bt-030108-002-251124-114355"}})",
       {"sd0:update_go", "sd0:files_cp_ok_pc", "sd0:firmware.no", "sd1:files_cp_ok_pc"}},
      {"second generation, Bluetooth over USB",
       R"({"device": {"versionFile": "ru3r_ver2"}})",
       {"sd0:files_cp_ok_pc", "sd1:files_cp_ok_pc"}},
      {"uart: the device flashes firmware.dfu itself",
       R"({"device": {"versionFile": "vo3_ver2", "df": "uart"}})",
       {"sd0:files_cp_ok_pc", "sd1:files_cp_ok_pc"}},
      {"same Bluetooth: firmware.no, which the device reads when it closes SD0",
       R"({"device": {"versionFile": "vo3_ver2", "bt": "vt-bt-030108-002-251124-114355"}})",
       {"sd0:files_cp_ok_pc", "sd0:firmware.no", "sd1:files_cp_ok_pc"}},
      {"fa.bin switches the device to uart (version file rewritten)",
       R"({"device": {"versionFile": "ru3r_ver2", "df": "usb"}, "program": {"faBinPresent": true}})",
       {"sd0:files_cp_ok_pc", "sd1:files_cp_ok_pc"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult run = RunOnce(c.scenario);
    ASSERT_EQ(run.result, 0) << ::testing::PrintToString(run.errors);
    // "firmware.no" hands nothing over, but the device reads it when SD0 closes: it gets the
    // same care.
    const auto handOvers =
        CheckHandOvers(run.calls, {"update_go", "files_cp_ok_pc", "firmware.no"});
    std::vector<std::string> seen;
    for (const HandOver& h : handOvers) {
      const std::string drive = Under(h.marker, run.sd1Root) ? "sd1" : "sd0";
      seen.push_back(drive + ":" + Path(h.marker).filename().string());
      for (const std::string& problem : h.problems) ADD_FAILURE() << h.marker << ": " << problem;
    }
    EXPECT_EQ(seen, c.handOvers);
    // The run really wrote the images and folders the check is about.
    std::size_t writes = 0;
    for (const FsCall& call : run.calls) writes += Written(call).size();
    EXPECT_GT(writes, 20u);
  }
}

// The checker itself, on hand-made logs: what it must find and what it must accept.
TEST(HandOverFlushTest, CheckerFindsUnflushedWritesAndUnflushedMarkers) {
  const Path root = "/ws/media/VANTEL3";
  auto call = [](FsOp op, const Path& path, const Path& to = {}) {
    return FsCall{op, path, to, {}, false};
  };
  struct Case {
    const char* name;
    std::vector<FsCall> calls;
    std::size_t problems;
  };
  const Case cases[] = {
      {"synced, then marker, then flushed",
       {call(FsOp::kCopyFile, "/pkg/RU3R.bin", root / "RU3R.bin"),
        call(FsOp::kSyncFileSystem, root), call(FsOp::kWriteFile, root / "files_cp_ok_pc"),
        call(FsOp::kFlushFile, root / "files_cp_ok_pc")},
       0},
      {"flushed file by file",
       {call(FsOp::kWriteFile, root / "a"), call(FsOp::kFlushFile, root / "a"),
        call(FsOp::kWriteFile, root / "update_go"), call(FsOp::kFlushFile, root / "update_go")},
       0},
      {"written after the sync",
       {call(FsOp::kSyncFileSystem, root), call(FsOp::kCreateDirectory, root / "Music_temp"),
        call(FsOp::kWriteFile, root / "files_cp_ok_pc"),
        call(FsOp::kFlushFile, root / "files_cp_ok_pc")},
       1},
      {"sync of another drive",
       {call(FsOp::kRename, root / "Music_temp", root / "Music"),
        call(FsOp::kSyncFileSystem, "/ws/media/VANTEL31"),
        call(FsOp::kWriteFile, root / "files_cp_ok_pc"),
        call(FsOp::kFlushFile, root / "files_cp_ok_pc")},
       1},
      {"folder renamed after the sync",
       {call(FsOp::kCreateDirectory, root / "Music_temp"),
        call(FsOp::kWriteFile, root / "Music_temp" / "a.mp3"), call(FsOp::kSyncFileSystem, root),
        call(FsOp::kRename, root / "Music_temp", root / "Music"),
        call(FsOp::kWriteFile, root / "files_cp_ok_pc"),
        call(FsOp::kFlushFile, root / "files_cp_ok_pc")},
       1},
      {"removed before the marker",
       {call(FsOp::kCreateDirectory, root / "__vantel_write_probe__"),
        call(FsOp::kRemoveDirectory, root / "__vantel_write_probe__"),
        call(FsOp::kWriteFile, root / "update_go"), call(FsOp::kFlushFile, root / "update_go")},
       0},
      {"marker never flushed",
       {call(FsOp::kSyncFileSystem, root), call(FsOp::kWriteFile, root / "update_go"),
        call(FsOp::kWriteFile, root / "other")},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto handOvers = CheckHandOvers(c.calls, {"update_go", "files_cp_ok_pc"});
    ASSERT_EQ(handOvers.size(), 1u);
    EXPECT_EQ(handOvers[0].problems.size(), c.problems)
        << ::testing::PrintToString(handOvers[0].problems);
  }
}

}  // namespace
}  // namespace vantel3
