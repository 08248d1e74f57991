// CopyTree with the flush before the hand-over against `cp -r` and `sync`, and DeleteTree
// against `rm -rf`, on the same source trees, alternating which goes first: on the disk and
// on a tmpfs, each with the wall time and the processor time of the same runs.
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

// Where a row runs: the scratch folder on the disk, where the disk's own noise (other
// writers, online discard) sits in every wall time, or a folder on a tmpfs, where it does
// not and the programs' own cost shows.
struct Place {
  bool tmpfs = false;
  std::string scratch;
  const Trees* trees = nullptr;
};

Place OnDisk() {
  return {false, GetOptions().scratch, &GetTrees()};
}

// Without a tmpfs folder the place has no scratch (and no trees): its rows say so.
Place OnTmpfs() {
  const std::string& scratch = GetOptions().tmpfsScratch;
  return {true, scratch, scratch.empty() ? nullptr : &GetTmpfsTrees()};
}

// Measured pairs of each row, after one warm-up pair that is not counted: the first copy of a
// run also pays for fresh page-cache memory for its destination. The source trees were just
// written and sit in the page cache, so no side reads them cold.
int Repetitions() {
  return GetOptions().quick ? 2 : 7;
}

// Small-file copies made by the copy benchmark on the disk, kept for the delete benchmark:
// deleting 5,000 files can take seconds on a file system mounted with online discard, and
// each copy has to be deleted anyway.
std::vector<std::string>& Pool() {
  static std::vector<std::string> pool;
  return pool;
}

void WarmUpTools(const std::string& scratch) {
  const std::string from = scratch + "/warm-up";
  const std::string to = from + "-copy";
  (void)GenerateTree(from, 2, 4 << 10, 4 << 10, 2, 1);
  (void)RunProgram({"cp", "-r", from, to});
  (void)RunProgram({"sync"});
  (void)RunProgram({"rm", "-rf", from, to});
}

struct Sample {
  double wall = -1;  // negative on failure
  double cpu = 0;    // this thread's processor time plus that of the children it waited for
};

// Times `run` once. The scratch file system is flushed first, so that writes left by the
// setup (or the other side's clean-up) are not charged to this run. Our side runs in this
// thread; the alternative's programs are children, whose processor time comes with their
// exit status, so both sides' processor time is counted the same way.
Sample TimeOnce(const std::string& scratch, const std::function<bool()>& run) {
  SyncPath(scratch);
  const double cpuStart = ThreadCpuSeconds() + ChildCpuSeconds();
  const double start = NowSeconds();
  const bool ok = run();
  Sample sample;
  sample.wall = ok ? NowSeconds() - start : -1;
  sample.cpu = ThreadCpuSeconds() + ChildCpuSeconds() - cpuStart;
  return sample;
}

struct Pair {
  std::vector<double> ours, alternative;        // wall seconds
  std::vector<double> oursCpu, alternativeCpu;  // processor seconds
  bool failed = false;
};

// Runs both sides `repetitions` times after a warm-up pair, alternating which goes first;
// `prepare` sets up before each side (untimed), `cleanUp` after it.
Pair Alternate(const std::string& scratch, int repetitions, const std::function<bool()>& ours,
               const std::function<bool()>& alternative, const std::function<void()>& prepare,
               const std::function<void()>& cleanUp) {
  Pair pair;
  for (int i = 0; i <= repetitions && !pair.failed; ++i) {
    for (int side = 0; side < 2; ++side) {
      const bool oursNow = (side == 0) == (i % 2 == 0);
      prepare();
      const Sample sample = TimeOnce(scratch, oursNow ? ours : alternative);
      cleanUp();
      if (sample.wall < 0) {
        pair.failed = true;
        break;
      }
      if (i == 0) continue;  // warm-up
      (oursNow ? pair.ours : pair.alternative).push_back(sample.wall);
      (oursNow ? pair.oursCpu : pair.alternativeCpu).push_back(sample.cpu);
    }
  }
  return pair;
}

// The two rows of one measurement: wall time, and processor time of the same runs.
void AddRows(const std::string& what, const Place& place, const Pair& pair,
             const std::string& alternativeName, const std::string& extraNote) {
  const std::string where = place.tmpfs ? "tmpfs" : "disk";
  const std::string runs = std::to_string(pair.ours.size()) + " alternating pairs";
  Row wall;
  wall.what = what + ", " + where + ", wall time";
  wall.ours = FormatSpread(pair.ours);
  wall.alternative = alternativeName + ": " + FormatSpread(pair.alternative);
  wall.ratio = Median(pair.ours) / Median(pair.alternative);
  wall.goal = 1.05;
  wall.note = "median (range) of " + runs + extraNote +
              (place.tmpfs ? "; stable: no disk, the programs' own cost"
                           : "; the disk's: moves with other writers and online discard");
  AddRow(wall);
  Row cpu;
  cpu.what = what + ", " + where + ", processor time";
  cpu.ours = FormatSpread(pair.oursCpu);
  cpu.alternative = alternativeName + ": " + FormatSpread(pair.alternativeCpu);
  cpu.ratio = Median(pair.oursCpu) / Median(pair.alternativeCpu);
  cpu.goal = 1.05;
  cpu.note =
      "median (range), same runs; user + system time of our thread and of the "
      "alternative's processes; stable";
  AddRow(cpu);
}

// With `keep` (on the disk), each copy goes to the pool for the delete benchmark instead of
// being removed.
void CopyRow(benchmark::State& state, const std::string& what, const Place& place, bool large,
             bool keep) {
  for (auto _ : state) {
    if (place.scratch.empty()) {
      AddFailedRow(what + (place.tmpfs ? ", tmpfs" : ", disk"), "no tmpfs folder was given");
      state.SkipWithError("no tmpfs");
      return;
    }
    const std::string& source = large ? place.trees->large : place.trees->small;
    const int64_t bytes = large ? place.trees->largeBytes : place.trees->smallBytes;
    if (bytes < 0) {
      AddFailedRow(what, "the source tree could not be written");
      state.SkipWithError("no source tree");
      return;
    }
    const std::string destination = place.scratch + "/copy";
    PosixFileSystem fs;
    SteadyClock clock;
    WarmUpTools(place.scratch);
    // On the disk, copies are moved aside, not deleted, until the row is done: on a file
    // system mounted with online discard, freeing the blocks of one copy would go on in the
    // background during the next timed run. A tmpfs frees memory at once.
    std::vector<std::string> trash;
    const auto cleanUp = [&] {
      if (!fs.Exists(destination)) return;
      if (place.tmpfs) return RemoveAll(destination);
      if (!keep) {
        const std::string aside = place.scratch + "/aside" + std::to_string(trash.size());
        if (fs.Rename(destination, aside)) return RemoveAll(destination);
        trash.push_back(aside);
        return;
      }
      const std::string kept = place.scratch + "/pool" + std::to_string(Pool().size());
      if (fs.Rename(destination, kept)) return RemoveAll(destination);
      Pool().push_back(kept);
    };
    // On the disk `sync` flushes everything, as a user would; on the tmpfs only its own file
    // system (`sync -f`), as our SyncFileSystem does, so that the disk stays out of the row.
    const std::vector<std::string> syncCommand =
        place.tmpfs ? std::vector<std::string>{"sync", "-f", destination}
                    : std::vector<std::string>{"sync"};
    const Pair pair = Alternate(
        place.scratch, Repetitions(),
        [&] {
          return CopyTree(fs, clock, source, destination) == 1 && !fs.SyncFileSystem(destination);
        },
        [&] {
          return RunProgram({"cp", "-r", source, destination}) && RunProgram(syncCommand);
        },
        [&] { RemoveAll(destination); }, cleanUp);
    for (const std::string& path : trash) RemoveAll(path);
    if (pair.failed) {
      AddFailedRow(what, "a copy failed");
      state.SkipWithError("copy failed");
      return;
    }
    state.SetIterationTime(Median(pair.ours));
    AddRows(what + " (" + FormatMiB(bytes) + ")", place, pair,
            place.tmpfs ? "`cp -r` + `sync -f`" : "`cp -r` + `sync`", "");
  }
}

void DeleteRow(benchmark::State& state, const std::string& what, const Place& place) {
  for (auto _ : state) {
    if (place.scratch.empty()) {
      AddFailedRow(what + ", tmpfs", "no tmpfs folder was given");
      state.SkipWithError("no tmpfs");
      return;
    }
    if (place.trees->smallBytes < 0) {
      AddFailedRow(what, "the source tree could not be written");
      state.SkipWithError("no source tree");
      return;
    }
    const std::string victim = place.scratch + "/delete";
    PosixFileSystem fs;
    WarmUpTools(place.scratch);
    bool setupFailed = false;
    const Pair pair = Alternate(
        place.scratch, Repetitions(),
        [&] { return DeleteTree(fs, victim) == 1 && !fs.Exists(victim); },
        [&] {
          return RunProgram({"rm", "-rf", victim}) && !fs.Exists(victim);
        },
        [&] {
          // A flushed copy of the small tree: on the disk one from the copy benchmark, else
          // a new one.
          RemoveAll(victim);
          if (!place.tmpfs && !Pool().empty()) {
            if (fs.Rename(Pool().back(), victim)) setupFailed = true;
            Pool().pop_back();
          } else if (!RunProgram({"cp", "-r", place.trees->small, victim})) {
            setupFailed = true;
          }
        },
        [&] { RemoveAll(victim); });
    if (pair.failed || setupFailed) {
      AddFailedRow(what, "a copy or a delete failed");
      state.SkipWithError("delete failed");
      return;
    }
    state.SetIterationTime(Median(pair.ours));
    AddRows(what, place, pair, "`rm -rf`", ", each on a fresh copy, flushed first");
  }
}

}  // namespace

void BenchCopySmallTree(benchmark::State& state) {
  CopyRow(state, "CopyTree + SyncFileSystem, 5,000 files of 4–64 KiB", OnDisk(), false, true);
}

void BenchCopyLargeFiles(benchmark::State& state) {
  CopyRow(state, "CopyTree + SyncFileSystem, 20 files of 20 MiB", OnDisk(), true, false);
}

void BenchDeleteTree(benchmark::State& state) {
  DeleteRow(state, "DeleteTree, 5,000 files of 4–64 KiB", OnDisk());
}

void BenchCopySmallTreeTmpfs(benchmark::State& state) {
  CopyRow(state, "CopyTree + SyncFileSystem, 5,000 files of 4–64 KiB", OnTmpfs(), false, false);
}

void BenchCopyLargeFilesTmpfs(benchmark::State& state) {
  CopyRow(state, "CopyTree + SyncFileSystem, 20 files of 20 MiB", OnTmpfs(), true, false);
}

void BenchDeleteTreeTmpfs(benchmark::State& state) {
  DeleteRow(state, "DeleteTree, 5,000 files of 4–64 KiB", OnTmpfs());
}

}  // namespace vantel3::bench
