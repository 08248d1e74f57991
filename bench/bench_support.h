// Shared pieces of the benchmarks: options, the one result table, timing, subprocesses and
// generated file trees in a scratch folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantel3::bench {

struct Options {
  bool quick = false;   // fewer repetitions and shorter waits
  std::string scratch;  // the scratch folder every benchmark works in
  // A fresh folder on a tmpfs for the copy and delete rows without the disk; empty: those
  // rows say they were not measured.
  std::string tmpfsScratch;
};
Options& GetOptions();

// One row of the table printed at the end: our figure against the alternative's, measured
// side by side in the same run.
struct Row {
  std::string what;
  std::string ours;         // our figure, with its unit
  std::string alternative;  // what the alternative is, and its figure
  double ratio = 0;         // ours / alternative
  double goal = 0;          // the ratio must stay at or below this; 0 for none
  std::string goalText;     // a goal on our figure itself ("≤ 500 ms"), besides any ratio goal
  int met = -1;             // with goalText: 1 when our figure meets it, 0 when not
  std::string note;         // how it was measured
};
void AddRow(Row row);
const std::vector<Row>& Rows();

// A row that could not be measured (a tool missing, a write failing): shown with the reason.
void AddFailedRow(const std::string& what, const std::string& reason);

// Allocations made through operator new in this process so far (counted by the
// benchmark program's replacement of the global operator new).
uint64_t AllocationCount();

// Seconds on the monotonic clock, and processor seconds this thread has used.
double NowSeconds();
double ThreadCpuSeconds();
// Processor seconds (user and system) of every child that RunProgram has waited for so far.
double ChildCpuSeconds();

// The median of the values (the mean of the middle two for an even count); 0 when empty.
double Median(std::vector<double> values);

// Runs a program with its arguments, output to /dev/null, and waits for it. True when it
// exited with status 0.
bool RunProgram(const std::vector<std::string>& argv);

// Flushes the file system that holds `path` (syncfs), so that writes of the setup are not
// charged to the next timed run.
void SyncPath(const std::string& path);

// Removes a tree if present (setup and clean-up only, not measured).
void RemoveAll(const std::string& path);

// Writes `count` files with sizes spread evenly at random between `minBytes` and `maxBytes`
// (fixed seed), `filesPerFolder` to a folder, the folders nested `fanout` wide and two deep
// below `root`. Random content, so that nothing can be stored sparse or deduplicated.
// Returns the total number of bytes, or -1 when a write failed.
int64_t GenerateTree(const std::string& root, int count, int64_t minBytes, int64_t maxBytes,
                     int filesPerFolder, int fanout);

// "median 812 ms (790–845)": the median of the values with their range.
std::string FormatSpread(const std::vector<double>& seconds);

// "812 ms", "1.23 s", "4.1 µs": a duration in a readable unit.
std::string FormatSeconds(double seconds);
std::string FormatMiB(int64_t bytes);

// The trees shared by the copy and delete benchmarks, generated once on first use: in the
// scratch folder on the disk, and in the tmpfs folder (when there is one).
struct Trees {
  std::string small;  // 5,000 files of 4 to 64 KiB in nested folders
  int64_t smallBytes = -1;
  std::string large;  // 20 files of 20 MiB
  int64_t largeBytes = -1;
};
const Trees& GetTrees();
const Trees& GetTmpfsTrees();

}  // namespace vantel3::bench
