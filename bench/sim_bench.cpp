// The whole update on the simulated device and the virtual clock, with a 50 MB package:
// its wall time against copying the same package with `cp -r` and `sync`. The device's
// waits cost no real time on the virtual clock, so what is left is the updater's own work,
// which should be bounded by the copying itself.
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/benchmarks.h"
#include "bench/sim_bench.h"
#include "dfu/dfu_binding.h"
#include "platform/clock.h"
#include "platform/library_loader.h"
#include "platform/path_limit.h"
#include "sim/scenario.h"
#include "sim/sim_workspace.h"
#include "text/text_step_ui.h"
#include "workflow/update_worker.h"

namespace vantel3::bench {

// 4 content folders of 12 files of 1 MiB: 50.3 MB with the images.
constexpr const char* kContentFolders[] = {"locale", "brl", "Daisy", "Music"};
constexpr int kFilesPerFolder = 12;
constexpr int64_t kFileBytes = 1 << 20;

// A workspace for the default scenario (a second-generation device updated over USB) with the
// package's content folders filled up. Null when it cannot be made.
std::unique_ptr<SimWorkspace> MakeWorkspace(VirtualClock& clock, int64_t& packageBytes) {
  std::string error;
  std::unique_ptr<SimWorkspace> workspace =
      SimWorkspace::Create(Scenario{}, clock, std::string(), error);
  if (!workspace) {
    std::fprintf(stderr, "bench: no simulation workspace: %s\n", error.c_str());
    return nullptr;
  }
  packageBytes = 0;
  for (const char* folder : kContentFolders) {
    const int64_t bytes = GenerateTree(workspace->packageDir() + "/" + folder + "/bulk",
                                       kFilesPerFolder, kFileBytes, kFileBytes, kFilesPerFolder, 1);
    if (bytes < 0) return nullptr;
    packageBytes += bytes;
  }
  SyncPath(workspace->root());
  return workspace;
}

// One update run as the text front end drives it on the virtual clock, its screen output
// dropped. True when it ended in success.
bool RunUpdate(SimWorkspace& workspace, VirtualClock& clock, bool verifyCopies) {
  UpdateServices services{clock, workspace.fs(), workspace.volumes(), workspace.programPath(),
                          workspace.packageDir()};
  services.verifyCopies = verifyCopies;
  UpdateContext context;
  const Scenario& scenario = workspace.scenario();
  TextAnswers answers;
  answers.onNextShown = [&] {
    if (!scenario.user.nextAfterMs) return;
    clock.ScheduleAt(clock.ElapsedMs() + *scenario.user.nextAfterMs,
                     [&context] { context.nextPressed = 1; });
  };
  answers.onNextHidden = [] {};
  answers.closeMessageBox = [] {};
  std::ostringstream screen;
  TextStepUi ui(screen, answers);
  DlLibraryLoader loader;
  std::string library;
  if (JoinPath(workspace.packageDir(), '/', kDfuLibraryFileName, library) == 0 ||
      BindDfuLibrary(loader, library, context.dfuApi) == 0 ||
      workspace.AttachToLibrary(loader, context.dfuApi.module) == 0) {
    return false;
  }
  return UpdateWorker(context, services, ui) == 0;
}

void BenchSimulatedUpdate(benchmark::State& state) {
  const std::string what = "Whole update, simulated device, virtual clock, 50 MB package";
  const int repetitions = GetOptions().quick ? 1 : 3;
  for (auto _ : state) {
    std::vector<double> ours;
    std::vector<double> alternative;
    int64_t packageBytes = 0;
    bool failed = false;
    for (int i = 0; i < repetitions && !failed; ++i) {
      for (int side = 0; side < 2 && !failed; ++side) {
        VirtualClock clock;
        std::unique_ptr<SimWorkspace> workspace = MakeWorkspace(clock, packageBytes);
        if (!workspace) {
          failed = true;
          break;
        }
        const bool oursNow = (side == 0) == (i % 2 == 0);
        const std::string copy = GetOptions().scratch + "/package-copy";
        const double start = NowSeconds();
        const bool ok = oursNow ? RunUpdate(*workspace, clock, true)
                                : RunProgram({"cp", "-r", workspace->packageDir(), copy}) &&
                                      RunProgram({"sync"});
        const double seconds = NowSeconds() - start;
        RemoveAll(copy);
        if (!ok) failed = true;
        (oursNow ? ours : alternative).push_back(seconds);
      }
    }
    if (failed) {
      AddFailedRow(what, "the simulated update did not succeed");
      state.SkipWithError("update failed");
      return;
    }
    const double oursMedian = Median(ours);
    const double alternativeMedian = Median(alternative);
    state.SetIterationTime(oursMedian);
    char text[64];
    Row row;
    std::snprintf(text, sizeof text, " (%.1f MB)", static_cast<double>(packageBytes) / 1e6);
    row.what = what + text;
    row.ours = FormatSpread(ours);
    row.alternative = "`cp -r` of the package + `sync`: " + FormatSpread(alternative);
    row.ratio = oursMedian / alternativeMedian;
    row.goal = 1.5;
    row.note = "median (range) of " + std::to_string(ours.size()) +
               " alternating runs, each in a fresh workspace";
    AddRow(row);
  }
}

}  // namespace vantel3::bench
