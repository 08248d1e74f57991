// The benchmark program: runs every row side by side with its alternative and prints one
// table. Options: --quick (fewer repetitions, shorter waits), --tmpfs=DIR (a tmpfs folder for
// the copy and delete rows without the disk), then Google Benchmark's own
// (--benchmark_filter=REGEX picks rows).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/benchmarks.h"

// Counts allocations, so that a wait can show it allocates nothing per turn.
namespace {
std::atomic<uint64_t> allocations{0};

void* Allocate(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace vantel3::bench {

uint64_t AllocationCount() {
  return allocations.load(std::memory_order_relaxed);
}

namespace {

// Progress on stderr; the table goes to stdout once every row has run.
class ProgressReporter : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      std::fprintf(stderr, "bench: %s done%s\n", run.benchmark_name().c_str(),
                   run.error_occurred ? " (failed)" : "");
    }
  }
};

std::string Escape(const std::string& cell) {
  std::string out;
  for (char c : cell) {
    if (c == '|') out += '\\';
    out += c;
  }
  return out;
}

void PrintTable() {
  std::printf("| Measurement | Ours | Alternative | Ratio | Goal | Met | How |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (const Row& row : Rows()) {
    char ratio[32] = "–";
    std::string goal = "–";
    const char* met = "–";
    if (row.ratio > 0) std::snprintf(ratio, sizeof ratio, "%.3f", row.ratio);
    bool measured = false;
    bool allMet = true;
    if (row.goal > 0 && row.ratio > 0) {
      char text[32];
      std::snprintf(text, sizeof text, "≤ %.2f", row.goal);
      goal = text;
      measured = true;
      allMet = row.ratio <= row.goal;
    }
    if (!row.goalText.empty() && row.met >= 0) {
      goal = measured ? goal + " and " + row.goalText : row.goalText;
      measured = true;
      allMet = allMet && row.met == 1;
    }
    if (measured) met = allMet ? "yes" : "no";
    std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", Escape(row.what).c_str(),
                Escape(row.ours).c_str(), Escape(row.alternative).c_str(), ratio, goal.c_str(), met,
                Escape(row.note).c_str());
  }
}

}  // namespace
}  // namespace vantel3::bench

int main(int argc, char** argv) {
  using namespace vantel3::bench;
  std::vector<char*> args;
  std::string tmpfsParent;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      GetOptions().quick = true;
    } else if (std::strncmp(argv[i], "--tmpfs=", 8) == 0) {
      tmpfsParent = argv[i] + 8;
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vantel3-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("bench: mkdtemp");
    return 1;
  }
  GetOptions().scratch = pattern;
  if (!tmpfsParent.empty()) {
    std::string tmpfsPattern = tmpfsParent + "/vantel3-bench-XXXXXX";
    if (::mkdtemp(tmpfsPattern.data()) == nullptr) {
      std::perror("bench: mkdtemp on the tmpfs");
    } else {
      GetOptions().tmpfsScratch = tmpfsPattern;
    }
  }

  const auto add = [](const char* name, void (*body)(benchmark::State&)) {
    benchmark::RegisterBenchmark(name, body)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  };
  add("CopyTree/small_files", BenchCopySmallTree);
  add("CopyTree/large_files", BenchCopyLargeFiles);
  add("DeleteTree/small_files", BenchDeleteTree);
  add("CopyTree/small_files_tmpfs", BenchCopySmallTreeTmpfs);
  add("CopyTree/large_files_tmpfs", BenchCopyLargeFilesTmpfs);
  add("DeleteTree/small_files_tmpfs", BenchDeleteTreeTmpfs);
  add("WaitUntil/false_predicate", BenchWaitUntil);
  add("FindDeviceDrive/60_volumes", BenchFindDeviceDrive);
  add("UpdateWorker/simulated_50MB", BenchSimulatedUpdate);
  add("WindowStartup/offscreen", BenchWindowStartup);
  add("VerifiedCopy/small_files", BenchVerifiedCopySmallTree);
  add("VerifiedCopy/large_files", BenchVerifiedCopyLargeFiles);
  add("UpdateWorker/simulated_50MB_verified", BenchSimulatedUpdateVerified);

  ProgressReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  RemoveAll(GetOptions().scratch);
  if (!GetOptions().tmpfsScratch.empty()) RemoveAll(GetOptions().tmpfsScratch);
  PrintTable();
  return 0;
}
