// CopyTree with the flush before the hand-over against `cp -r` and `sync`, and DeleteTree
// against `rm -rf`, on the same source trees, alternating which goes first.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/benchmarks.h"
#include "fsops/tree_ops.h"
#include "platform/clock.h"
#include "platform/posix_file_system.h"

namespace vantel3::bench {

namespace {

// Measured repetitions of each side, after one warm-up pair that is not counted: the first
// copy of a run also pays for fresh page-cache memory for its destination. The source trees
// were just written and sit in the page cache, so no side reads them cold. The small-file
// copies (warm-up included) are all kept for the delete benchmark, which deletes each one.
int SmallRepetitions() {
  return GetOptions().quick ? 1 : 3;
}
int LargeRepetitions() {
  return GetOptions().quick ? 3 : 5;
}

// Small-file copies made by the copy benchmark, kept for the delete benchmark: deleting 5,000
// files can take seconds on a file system mounted with online discard, and each copy has to
// be deleted anyway.
std::vector<std::string>& Pool() {
  static std::vector<std::string> pool;
  return pool;
}

void WarmUpTools() {
  const std::string from = GetOptions().scratch + "/warm-up";
  const std::string to = from + "-copy";
  (void)GenerateTree(from, 2, 4 << 10, 4 << 10, 2, 1);
  (void)RunProgram({"cp", "-r", from, to});
  (void)RunProgram({"sync"});
  (void)RunProgram({"rm", "-rf", from, to});
}

// Times `run` once. The scratch file system is flushed first, so that writes left by the
// setup (or the other side's clean-up) are not charged to this run. Negative on failure.
double TimeOnce(const std::function<bool()>& run) {
  SyncPath(GetOptions().scratch);
  const double start = NowSeconds();
  const bool ok = run();
  const double seconds = NowSeconds() - start;
  return ok ? seconds : -1;
}

struct Pair {
  std::vector<double> ours;
  std::vector<double> alternative;
  bool failed = false;
};

// Runs both sides `repetitions` times after a warm-up pair, alternating which goes first; `prepare`
// sets up before each side (untimed), `cleanUp` after it.
Pair Alternate(int repetitions, const std::function<bool()>& ours,
               const std::function<bool()>& alternative, const std::function<void()>& prepare,
               const std::function<void()>& cleanUp) {
  Pair pair;
  for (int i = 0; i <= repetitions && !pair.failed; ++i) {
    for (int side = 0; side < 2; ++side) {
      const bool oursNow = (side == 0) == (i % 2 == 0);
      prepare();
      const double seconds = TimeOnce(oursNow ? ours : alternative);
      cleanUp();
      if (seconds < 0) {
        pair.failed = true;
        break;
      }
      if (i == 0) continue;  // warm-up
      (oursNow ? pair.ours : pair.alternative).push_back(seconds);
    }
  }
  return pair;
}

// With `keep`, each copy goes to the pool for the delete benchmark instead of being removed.
void CopyRow(benchmark::State& state, const std::string& what, const std::string& source,
             int64_t bytes, bool keep) {
  for (auto _ : state) {
    if (bytes < 0) {
      AddFailedRow(what, "the source tree could not be written");
      state.SkipWithError("no source tree");
      return;
    }
    const std::string destination = GetOptions().scratch + "/copy";
    PosixFileSystem fs;
    SteadyClock clock;
    WarmUpTools();
    // Copies are moved aside, not deleted, until the row is done: on a file system mounted
    // with online discard, freeing the blocks of one copy would go on in the background
    // during the next timed run.
    std::vector<std::string> trash;
    const auto cleanUp = [&] {
      if (!fs.Exists(destination)) return;
      const std::string aside = GetOptions().scratch + "/aside" + std::to_string(trash.size());
      if (!keep) {
        if (fs.Rename(destination, aside)) return RemoveAll(destination);
        trash.push_back(aside);
        return;
      }
      const std::string kept = GetOptions().scratch + "/pool" + std::to_string(Pool().size());
      if (fs.Rename(destination, kept)) return RemoveAll(destination);
      Pool().push_back(kept);
    };
    const Pair pair = Alternate(
        keep ? SmallRepetitions() : LargeRepetitions(),
        [&] {
          return CopyTree(fs, clock, source, destination) == 1 && !fs.SyncFileSystem(destination);
        },
        [&] {
          return RunProgram({"cp", "-r", source, destination}) && RunProgram({"sync"});
        },
        [&] { RemoveAll(destination); }, cleanUp);
    for (const std::string& path : trash) RemoveAll(path);
    if (pair.failed) {
      AddFailedRow(what, "a copy failed");
      state.SkipWithError("copy failed");
      return;
    }
    const double ours = Median(pair.ours);
    const double alternative = Median(pair.alternative);
    state.SetIterationTime(ours);
    Row row;
    row.what = what + " (" + FormatMiB(bytes) + ")";
    row.ours = FormatSpread(pair.ours);
    row.alternative = "`cp -r` + `sync`: " + FormatSpread(pair.alternative);
    row.ratio = ours / alternative;
    row.goal = 1.05;
    row.note = "median (range) of " + std::to_string(pair.ours.size()) + " alternating runs";
    AddRow(row);
  }
}

}  // namespace

void BenchCopySmallTree(benchmark::State& state) {
  const Trees& trees = GetTrees();
  CopyRow(state, "CopyTree + SyncFileSystem, 5,000 files of 4–64 KiB", trees.small,
          trees.smallBytes, true);
}

void BenchCopyLargeFiles(benchmark::State& state) {
  const Trees& trees = GetTrees();
  CopyRow(state, "CopyTree + SyncFileSystem, 20 files of 20 MiB", trees.large, trees.largeBytes,
          false);
}

void BenchDeleteTree(benchmark::State& state) {
  const Trees& trees = GetTrees();
  const std::string what = "DeleteTree, 5,000 files of 4–64 KiB";
  for (auto _ : state) {
    if (trees.smallBytes < 0) {
      AddFailedRow(what, "the source tree could not be written");
      state.SkipWithError("no source tree");
      return;
    }
    const std::string victim = GetOptions().scratch + "/delete";
    PosixFileSystem fs;
    WarmUpTools();
    bool setupFailed = false;
    const Pair pair = Alternate(
        SmallRepetitions(), [&] { return DeleteTree(fs, victim) == 1 && !fs.Exists(victim); },
        [&] {
          return RunProgram({"rm", "-rf", victim}) && !fs.Exists(victim);
        },
        [&] {
          // A flushed copy of the small tree: one from the copy benchmark,
          // else a new one.
          RemoveAll(victim);
          if (!Pool().empty()) {
            if (fs.Rename(Pool().back(), victim)) setupFailed = true;
            Pool().pop_back();
          } else if (!RunProgram({"cp", "-r", trees.small, victim})) {
            setupFailed = true;
          }
        },
        [&] { RemoveAll(victim); });
    if (pair.failed || setupFailed) {
      AddFailedRow(what, "a copy or a delete failed");
      state.SkipWithError("delete failed");
      return;
    }
    const double ours = Median(pair.ours);
    const double alternative = Median(pair.alternative);
    state.SetIterationTime(ours);
    Row row;
    row.what = what;
    row.ours = FormatSpread(pair.ours);
    row.alternative = "`rm -rf`: " + FormatSpread(pair.alternative);
    row.ratio = ours / alternative;
    row.goal = 1.05;
    row.note = "median (range) of " + std::to_string(pair.ours.size()) +
               " alternating runs, each on a fresh copy, flushed first";
    AddRow(row);
  }
}

}  // namespace vantel3::bench
