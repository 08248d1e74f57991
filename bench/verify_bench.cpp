// The cost of reading copies back: a verified copy of a tree (copy, flush, read back from the
// medium, compare) against `cp -r`, `sync`, dropping the copy's cached pages and `diff -r`;
// and the whole simulated update with its copies verified against the same update without.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "bench/bench_support.h"
#include "bench/benchmarks.h"
#include "bench/sim_bench.h"
#include "fsops/read_back.h"
#include "fsops/tree_ops.h"
#include "platform/clock.h"
#include "platform/posix_file_system.h"

namespace vantel3::bench {

namespace {

// Drops the cached pages of every file below `root`, as `diff -r` must then read the copy
// from the disk, like our check does.
bool DropCachedPages(const std::string& root) {
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    const int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
  return !ec;
}

// Alternating runs of both sides after one warm-up pair; each side starts with the scratch
// file system flushed and no copy in place. Empty vectors when a run failed.
void Alternate(int repetitions, const std::function<bool()>& ours,
               const std::function<bool()>& alternative, const std::string& destination,
               std::vector<double>& oursSeconds, std::vector<double>& alternativeSeconds) {
  for (int i = 0; i <= repetitions; ++i) {
    for (int side = 0; side < 2; ++side) {
      const bool oursNow = (side == 0) == (i % 2 == 0);
      RemoveAll(destination);
      SyncPath(GetOptions().scratch);
      const double start = NowSeconds();
      const bool ok = oursNow ? ours() : alternative();
      const double seconds = NowSeconds() - start;
      RemoveAll(destination);
      if (!ok) {
        oursSeconds.clear();
        alternativeSeconds.clear();
        return;
      }
      if (i > 0) (oursNow ? oursSeconds : alternativeSeconds).push_back(seconds);
    }
  }
}

void VerifiedCopyRow(benchmark::State& state, const std::string& what, const std::string& source,
                     int64_t bytes, int repetitions) {
  for (auto _ : state) {
    if (bytes < 0) {
      AddFailedRow(what, "the source tree could not be written");
      state.SkipWithError("no source tree");
      return;
    }
    const std::string destination = GetOptions().scratch + "/verified-copy";
    PosixFileSystem fs;
    SteadyClock clock;
    std::vector<double> ours;
    std::vector<double> alternative;
    Alternate(
        repetitions,
        [&] {
          return CopyTree(fs, clock, source, destination) == 1 && !fs.SyncFileSystem(destination) &&
                 ReadBackTree(fs, source, destination, {}) == 1;
        },
        [&] {
          return RunProgram({"cp", "-r", source, destination}) && RunProgram({"sync"}) &&
                 DropCachedPages(destination) && RunProgram({"diff", "-r", source, destination});
        },
        destination, ours, alternative);
    if (ours.empty()) {
      AddFailedRow(what, "a copy or its check failed");
      state.SkipWithError("copy failed");
      return;
    }
    state.SetIterationTime(Median(ours));
    Row row;
    row.what = what + " (" + FormatMiB(bytes) + ")";
    row.ours = FormatSpread(ours);
    row.alternative =
        "`cp -r` + `sync` + drop the copy's cached pages + `diff -r`: " + FormatSpread(alternative);
    row.ratio = Median(ours) / Median(alternative);
    row.goal = 1.05;
    row.note = "median (range) of " + std::to_string(ours.size()) + " alternating runs";
    AddRow(row);
  }
}

}  // namespace

void BenchVerifiedCopySmallTree(benchmark::State& state) {
  const Trees& trees = GetTrees();
  VerifiedCopyRow(state, "CopyTree + SyncFileSystem + ReadBackTree, 5,000 files of 4–64 KiB",
                  trees.small, trees.smallBytes, GetOptions().quick ? 1 : 3);
}

void BenchVerifiedCopyLargeFiles(benchmark::State& state) {
  const Trees& trees = GetTrees();
  VerifiedCopyRow(state, "CopyTree + SyncFileSystem + ReadBackTree, 20 files of 20 MiB",
                  trees.large, trees.largeBytes, GetOptions().quick ? 3 : 5);
}

void BenchSimulatedUpdateVerified(benchmark::State& state) {
  const std::string what = "Whole update, simulated device, virtual clock, copies read back";
  const int repetitions = GetOptions().quick ? 2 : 5;
  for (auto _ : state) {
    std::vector<double> verified;
    std::vector<double> unverified;
    int64_t packageBytes = 0;
    for (int i = 0; i < repetitions; ++i) {
      for (int side = 0; side < 2; ++side) {
        const bool verifyNow = (side == 0) == (i % 2 == 0);
        VirtualClock clock;
        std::unique_ptr<SimWorkspace> workspace = MakeWorkspace(clock, packageBytes);
        const double start = NowSeconds();
        const bool ok = workspace && RunUpdate(*workspace, clock, verifyNow);
        const double seconds = NowSeconds() - start;
        if (!ok) {
          AddFailedRow(what, "the simulated update did not succeed");
          state.SkipWithError("update failed");
          return;
        }
        (verifyNow ? verified : unverified).push_back(seconds);
      }
    }
    state.SetIterationTime(Median(verified));
    char size[32];
    std::snprintf(size, sizeof size, " (%.1f MB)", static_cast<double>(packageBytes) / 1e6);
    Row row;
    row.what = what + size;
    row.ours = FormatSpread(verified);
    row.alternative = "the same update with --no-verify: " + FormatSpread(unverified);
    row.ratio = Median(verified) / Median(unverified);
    row.note = "median (range) of " + std::to_string(verified.size()) +
               " alternating runs, each in a fresh workspace; the difference is the read-back "
               "of the package's bytes from the drive and two more drive flushes";
    AddRow(row);
  }
}

}  // namespace vantel3::bench
